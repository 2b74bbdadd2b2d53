#include "HLVCommandOutput.h"
#include "HLVFileData.h"
#include "HLVTagField.h"

#include <cstdio>

namespace {

// Values in the text output stay on their line and keep their tabs apart.
QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

QString numberText(const std::optional<int>& number)
{
    return number ? QString::number(*number) : QString();
}

// "5/12", "5", "/12" or "".
QString pairText(const std::optional<int>& number, const std::optional<int>& total)
{
    QString text = numberText(number);
    if (total)
        text += QLatin1Char('/') + QString::number(*total);
    return text;
}

// The present fields of a map, keyed by the tag map's names.
void writeTags(HLVJsonWriter& json, const HLVTagMap& map, bool withReleaseID)
{
    json.beginObject();
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.numeric) {
            if (const auto number = field.number(map)) {
                json.key(field.key);
                json.value(*number);
            }
        } else if (const auto text = field.text(map)) {
            json.key(field.key);
            json.value(*text);
        }
    }
    if (withReleaseID && map.ReleaseMBID()) {
        json.key(QStringLiteral("ReleaseMBID"));
        json.value(*map.ReleaseMBID());
    }
    json.endObject();
}

HLVCustomTagValueArray shownCustomTags(const HLVTagMap& tags)
{
    HLVCustomTagValueArray values;
    if (tags.CustomTagValues()) {
        for (const auto& value : *tags.CustomTagValues()) {
            if (value && !value->isMarkedForRemoval())
                values.append(value);
        }
    }
    return values;
}

void writeNumber(HLVJsonWriter& json, const QString& key, const std::optional<int>& number)
{
    json.key(key);
    if (number)
        json.value(*number);
    else
        json.nullValue();
}

void writeDetails(HLVJsonWriter& json, const HLVFileDetails& details)
{
    json.beginObject();
    json.key(QStringLiteral("format"));
    json.value(details.format);
    json.key(QStringLiteral("codec"));
    json.value(details.codec);
    writeNumber(json, QStringLiteral("lengthMilliseconds"), details.lengthMilliseconds);
    writeNumber(json, QStringLiteral("bitRate"), details.bitRate);
    writeNumber(json, QStringLiteral("sampleRate"), details.sampleRate);
    writeNumber(json, QStringLiteral("channels"), details.channels);
    writeNumber(json, QStringLiteral("bitsPerSample"), details.bitsPerSample);
    json.key(QStringLiteral("tags"));
    json.beginObject();
    writeNumber(json, QStringLiteral("id3v2Version"), details.id3v2Version);
    json.key(QStringLiteral("id3v1"));
    json.value(details.id3v1);
    json.key(QStringLiteral("ape"));
    json.value(details.ape);
    writeNumber(json, QStringLiteral("mp4Items"), details.mp4Items);
    writeNumber(json, QStringLiteral("xiphFields"), details.xiphFields);
    json.endObject();
    json.key(QStringLiteral("pictures"));
    json.value(details.pictures);
    json.key(QStringLiteral("picture"));
    if (details.pictures == 0) {
        json.nullValue();
    } else {
        json.beginObject();
        writeNumber(json, QStringLiteral("type"), details.pictureType);
        json.key(QStringLiteral("format"));
        json.value(details.pictureFormat);
        json.key(QStringLiteral("width"));
        json.value(details.pictureSize.isValid() ? details.pictureSize.width() : 0);
        json.key(QStringLiteral("height"));
        json.value(details.pictureSize.isValid() ? details.pictureSize.height() : 0);
        json.key(QStringLiteral("bytes"));
        json.value(details.pictureBytes);
        json.endObject();
    }
    json.key(QStringLiteral("fileSize"));
    json.value(details.fileSize);
    json.key(QStringLiteral("folder"));
    json.value(details.folder);
    json.endObject();
}

QByteArray detailLines(const HLVFileDetails& details)
{
    QByteArray text;
    auto add = [&text](const char* name, const QString& value) {
        if (!value.isEmpty())
            text += HLVCommandOutput::line({QString(), QLatin1String(name), value});
    };
    auto number = [](const std::optional<int>& n, const char* unit) {
        return n ? QString::number(*n) + QLatin1String(unit) : QString();
    };
    add("Format", details.format);
    add("Codec", details.codec);
    if (details.lengthMilliseconds)
        add("Length", QString::number(*details.lengthMilliseconds / 1000.0, 'f', 3));
    add("BitRate", number(details.bitRate, ""));
    add("SampleRate", number(details.sampleRate, ""));
    add("Channels", number(details.channels, ""));
    add("BitsPerSample", number(details.bitsPerSample, ""));
    add("Tags", details.tagSummary());
    if (details.pictures > 0) {
        QStringList parts;
        if (details.pictureType)
            parts.append(HLVFileDetails::pictureTypeName(*details.pictureType));
        parts.append(details.pictureFormat);
        if (details.pictureSize.isValid())
            parts.append(QStringLiteral("%1x%2").arg(details.pictureSize.width()).arg(details.pictureSize.height()));
        parts.append(QStringLiteral("%1 bytes").arg(details.pictureBytes));
        if (details.pictures > 1)
            parts.append(QStringLiteral("%1 pictures").arg(details.pictures));
        parts.removeAll(QString());
        add("Picture", parts.join(QLatin1String(", ")));
    }
    add("FileSize", QString::number(details.fileSize));
    add("Folder", details.folder);
    return text;
}

} // namespace

HLVCommandOutput::HLVCommandOutput(bool json) : _json(json)
{
    if (_json)
        _writer.beginArray();
}

void HLVCommandOutput::print(const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

QByteArray HLVCommandOutput::line(const QStringList& columns)
{
    QStringList cells;
    for (const QString& column : columns)
        cells.append(escaped(column));
    return (cells.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
}

void HLVCommandOutput::printLine(const QStringList& columns)
{
    print(line(columns));
}

void HLVCommandOutput::finish()
{
    if (!_json)
        return;
    _writer.endArray();
    print(_writer.data());
}

void HLVCommandOutput::addBlock(const QByteArray& block)
{
    if (_json)
        _writer.rawValue(block);
    else
        print(block);
}

QByteArray HLVCommandOutput::showBlock(bool asJson, const HLVFileData& record, const HLVTagMap& tags,
                                       int missingTagScore, const HLVFileDetails* details)
{
    const HLVArtwork& picture = tags.Artwork();
    const HLVCustomTagValueArray customTags = shownCustomTags(tags);
    const QString path = record.FilePath();
    if (asJson) {
        HLVJsonWriter json(1); // an element of the output's array
        json.beginObject();
        json.key(QStringLiteral("path"));
        json.value(path);
        json.key(QStringLiteral("readOnly"));
        json.value(record.IsReadOnly());
        json.key(QStringLiteral("tags"));
        writeTags(json, tags, false);
        json.key(QStringLiteral("artwork"));
        json.beginObject();
        json.key(QStringLiteral("present"));
        json.value(!picture.isNull());
        json.key(QStringLiteral("width"));
        json.value(picture.isNull() ? 0 : picture.size().width());
        json.key(QStringLiteral("height"));
        json.value(picture.isNull() ? 0 : picture.size().height());
        json.endObject();
        json.key(QStringLiteral("customTags"));
        json.beginObject();
        for (const auto& value : customTags) {
            json.key(value->identifier());
            json.value(value->value());
        }
        json.endObject();
        json.key(QStringLiteral("missingTagScore"));
        json.value(missingTagScore);
        if (details) {
            json.key(QStringLiteral("details"));
            writeDetails(json, *details);
        }
        json.endObject();
        return json.data();
    }
    QByteArray text = line({path});
    if (record.IsReadOnly())
        text += line({QString(), QStringLiteral("ReadOnly"), QStringLiteral("yes")});
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.numeric && field.number(tags))
            text += line({QString(), field.key, numberText(field.number(tags))});
        else if (!field.numeric && field.text(tags))
            text += line({QString(), field.key, *field.text(tags)});
    }
    if (!picture.isNull()) {
        text += line({QString(), QStringLiteral("Artwork"),
                      QStringLiteral("%1x%2").arg(picture.size().width()).arg(picture.size().height())});
    }
    for (const auto& value : customTags)
        text += line({QString(), QStringLiteral("Custom ") + value->identifier(), value->value().value_or(QString())});
    text += line({QString(), QStringLiteral("MissingTagScore"), QString::number(missingTagScore)});
    if (details)
        text += detailLines(*details);
    return text;
}

void HLVCommandOutput::identifiedFile(const HLVFileData& record, const QString& outcome,
                                      const QList<std::shared_ptr<HLVTagMap>>& candidates, std::optional<bool> saved)
{
    if (_json) {
        HLVJsonWriter& json = _writer;
        json.beginObject();
        json.key(QStringLiteral("path"));
        json.value(record.FilePath());
        json.key(QStringLiteral("outcome"));
        json.value(outcome);
        json.key(QStringLiteral("candidates"));
        json.beginArray();
        for (const auto& candidate : candidates)
            writeTags(json, *candidate, true);
        json.endArray();
        if (saved) {
            json.key(QStringLiteral("saved"));
            json.value(*saved);
        }
        json.endObject();
        return;
    }
    QByteArray text = line({record.FilePath(), outcome});
    for (const auto& c : candidates) {
        text += line({QString(), c->AlbumName().value_or(QString()), c->AlbumArtist().value_or(QString()),
                      c->ArtistName().value_or(QString()), c->TrackName().value_or(QString()),
                      numberText(c->ReleaseYear()), pairText(c->TrackNumber(), c->TrackTotal()),
                      pairText(c->DiscNumber(), c->DiscTotal()), c->Genre().value_or(QString()),
                      c->ReleaseMBID().value_or(QString())});
    }
    print(text);
}
