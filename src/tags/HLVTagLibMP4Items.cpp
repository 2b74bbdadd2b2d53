#include "HLVTagLibMP4Items.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <limits>

namespace HLVTagLibMP4Items {

namespace {

// How TagLib renders an atom, by its key. Anything not listed is text.
enum class AtomKind { Text, Pair, Flag, Byte, ShortInteger, UnsignedInteger, LongInteger, NoText };

AtomKind kindOfAtom(const TagLib::String& key)
{
    static const struct {
        const char* key;
        AtomKind kind;
    } kinds[] = {
        {"trkn", AtomKind::Pair},
        {"disk", AtomKind::Pair},
        {"cpil", AtomKind::Flag},
        {"pgap", AtomKind::Flag},
        {"pcst", AtomKind::Flag},
        {"hdvd", AtomKind::Flag},
        {"shwm", AtomKind::Flag},
        {"rtng", AtomKind::Byte},
        {"stik", AtomKind::Byte},
        {"akID", AtomKind::Byte},
        {"tmpo", AtomKind::ShortInteger},
        {"\xA9mvi", AtomKind::ShortInteger},
        {"\xA9mvc", AtomKind::ShortInteger},
        {"tves", AtomKind::UnsignedInteger},
        {"tvsn", AtomKind::UnsignedInteger},
        {"cnID", AtomKind::UnsignedInteger},
        {"atID", AtomKind::UnsignedInteger},
        {"geID", AtomKind::UnsignedInteger},
        {"sfID", AtomKind::UnsignedInteger},
        {"cmID", AtomKind::UnsignedInteger},
        {"plID", AtomKind::LongInteger},
        {"covr", AtomKind::NoText},
        {"gnre", AtomKind::NoText},
    };
    for (const auto& entry : kinds) {
        if (key == TagLib::String(entry.key, TagLib::String::Latin1))
            return entry.kind;
    }
    return AtomKind::Text;
}

// The leading decimal integer of a text, clamped to [low, high]; 0 when none.
long long integerOfText(const QString& text, long long low, long long high)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    if (end < trimmed.size() && (trimmed.at(end) == QLatin1Char('-') || trimmed.at(end) == QLatin1Char('+')))
        ++end;
    const qsizetype digitsStart = end;
    while (end < trimmed.size() && trimmed.at(end) >= QLatin1Char('0') && trimmed.at(end) <= QLatin1Char('9'))
        ++end;
    if (end == digitsStart)
        return 0;
    bool ok = false;
    const long long value = trimmed.left(end).toLongLong(&ok);
    if (!ok) // beyond 64 bits: saturate in the direction of the sign
        return trimmed.startsWith(QLatin1Char('-')) ? low : high;
    return qBound(low, value, high);
}

} // namespace

TagLib::String atomKey(const QString& identifier)
{
    QByteArray bytes = identifier.toLatin1();
    if (bytes.startsWith('x'))
        bytes[0] = char(0xA9);
    return TagLib::String(bytes.toStdString(), TagLib::String::Latin1);
}

const TagLib::MP4::Item* findItem(const TagLib::MP4::ItemMap& itemMap, const TagLib::String& key)
{
    const auto it = itemMap.find(key);
    return it == itemMap.end() ? nullptr : &it->second;
}

std::optional<QString> numericItemText(const TagLib::String& key, const TagLib::MP4::Item& item)
{
    if (!item.isValid())
        return std::nullopt;
    switch (kindOfAtom(key)) {
    case AtomKind::Pair: {
        // Unlike the track and disc fields, a custom value keeps a total
        // without a number ("0/12"), so saving it back loses nothing.
        auto pair = item.toIntPair();
        pair.first = pair.first < 0 ? pair.first & 0xFFFF : pair.first;
        pair.second = pair.second < 0 ? pair.second & 0xFFFF : pair.second;
        if (pair.first == 0 && pair.second == 0)
            return QString();
        if (pair.second == 0)
            return QString::number(pair.first);
        return QStringLiteral("%1/%2").arg(pair.first).arg(pair.second);
    }
    case AtomKind::Flag:
        return item.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case AtomKind::Byte:
        return QString::number(item.toByte());
    case AtomKind::ShortInteger:
        return QString::number(item.toInt());
    case AtomKind::UnsignedInteger:
        return QString::number(item.toUInt());
    case AtomKind::LongInteger:
        return QString::number(item.toLongLong());
    case AtomKind::Text:
    case AtomKind::NoText:
        break;
    }
    return std::nullopt;
}

std::optional<TagLib::MP4::Item> itemFromText(const TagLib::String& key, const QString& text)
{
    switch (kindOfAtom(key)) {
    case AtomKind::Text:
        return TagLib::MP4::Item(TagLib::StringList(HLVTagText::toTagLib(text)));
    case AtomKind::Pair: {
        // The atom holds two 16-bit numbers.
        const qsizetype slash = text.indexOf(QLatin1Char('/'));
        const int first = int(integerOfText(slash < 0 ? text : text.left(slash), 0, 0xFFFF));
        const int second = slash < 0 ? 0 : int(integerOfText(text.mid(slash + 1), 0, 0xFFFF));
        return TagLib::MP4::Item(first, second);
    }
    case AtomKind::Flag:
        return TagLib::MP4::Item(HLVTagValueParser::booleanOfText(text));
    case AtomKind::Byte:
        return TagLib::MP4::Item(static_cast<unsigned char>(integerOfText(text, 0, 0xFF)));
    case AtomKind::ShortInteger:
        return TagLib::MP4::Item(int(integerOfText(text, std::numeric_limits<short>::min(),
                                                   std::numeric_limits<short>::max())));
    case AtomKind::UnsignedInteger:
        return TagLib::MP4::Item(static_cast<unsigned int>(
            integerOfText(text, 0, std::numeric_limits<unsigned int>::max())));
    case AtomKind::LongInteger:
        return TagLib::MP4::Item(integerOfText(text, std::numeric_limits<long long>::min(),
                                               std::numeric_limits<long long>::max()));
    case AtomKind::NoText:
        break;
    }
    return std::nullopt;
}

} // namespace HLVTagLibMP4Items
