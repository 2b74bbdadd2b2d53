#include "HLVSelectionSummary.h"
#include "HLVFileData.h"
#include "HLVTagField.h"
#include "HLVTagMap.h"

#include <QSet>

namespace {

// The pending value as text, absent when the map does not change the field.
std::optional<QString> pendingText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return std::nullopt;
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number ? std::optional<QString>(QString::number(*number)) : std::nullopt;
    }
    return field.text(*map);
}

// Narrows the custom values all files have: a value the file lacks goes, one
// whose text differs stays with an empty text; a file without any empties it.
void narrowCommonCustomValues(HLVCustomTagValueArray& common, const HLVTagMap& map)
{
    if (!map.CustomTagValues() || map.CustomTagValues()->isEmpty()) {
        common.clear();
        return;
    }
    for (qsizetype i = common.size() - 1; i >= 0; --i) {
        const auto theirs =
            HLVCustomTagValue::customTagValueWithIdentifier(common.at(i)->identifier(), *map.CustomTagValues());
        if (!theirs)
            common.removeAt(i);
        else if (theirs->value() != common.at(i)->value())
            common.at(i)->setValue(QString(QLatin1String("")));
    }
}

} // namespace

QString HLVSelectionSummary::shownText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return QString();
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number && *number != 0 ? QString::number(*number) : QString();
    }
    return field.text(*map).value_or(QString());
}

HLVSelectionSummary::Saved HLVSelectionSummary::savedOf(const std::shared_ptr<HLVFileData>& file,
                                                        const QList<const HLVTagField*>& fields)
{
    Saved saved;
    const auto initial = file->InitialTagMap();
    saved.texts.reserve(fields.size());
    for (const HLVTagField* field : fields)
        saved.texts.append(shownText(*field, initial.get()));
    saved.compilation = initial && initial->Compilation().value_or(0) != 0;
    return saved;
}

std::optional<HLVSelectionSummary> HLVSelectionSummary::of(const QList<std::shared_ptr<HLVFileData>>& files,
                                                           const QList<const HLVTagField*>& fields,
                                                           const std::atomic<bool>& cancelled,
                                                           const SavedByRecord& earlier,
                                                           const QSet<const HLVFileData*>& changed)
{
    HLVSelectionSummary summary;
    summary.fileCount = files.size();
    summary.sharedPending.resize(fields.size());
    summary.sharedShown.resize(fields.size());
    summary.savedCounts.resize(fields.size());
    summary.saved.reserve(files.size());
    QList<bool> fieldAlike(fields.size(), true);
    QList<bool> shownAlike(fields.size(), true);
    quint64 pictureKey = 0;
    bool picturesAlike = true;
    bool customValuesLeft = true;
    for (qsizetype f = 0; f < files.size(); ++f) {
        if (cancelled.load())
            return std::nullopt;
        const std::shared_ptr<HLVFileData>& file = files.at(f);
        // Only what is pending counts; a file without changes has none to share.
        const std::shared_ptr<HLVTagMap> pending = file->existingVirtualTagMap();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const std::optional<QString> value = pendingText(*fields.at(i), pending.get());
            if (f == 0)
                summary.sharedPending[i] = value;
            else if (fieldAlike.at(i) && value != summary.sharedPending.at(i))
                fieldAlike[i] = false;
        }
        std::optional<bool> flag;
        if (pending && pending->Compilation())
            flag = *pending->Compilation() != 0;
        if (f == 0)
            summary.sharedPendingCompilation = flag;
        else if (flag != summary.sharedPendingCompilation)
            summary.pendingCompilationAlike = false;

        const auto kept = earlier.constFind(file.get());
        const Saved saved = kept != earlier.constEnd() && !changed.contains(file.get()) ? *kept : savedOf(file, fields);
        for (qsizetype i = 0; i < fields.size(); ++i) {
            ++summary.savedCounts[i][saved.texts.value(i)];
            // The pending value where there is one, else the saved one.
            const bool changes = pendingText(*fields.at(i), pending.get()).has_value();
            const QString shown = changes ? shownText(*fields.at(i), pending.get()) : saved.texts.value(i);
            if (f == 0)
                summary.sharedShown[i] = shown;
            else if (shownAlike.at(i) && shown != summary.sharedShown.at(i))
                shownAlike[i] = false;
        }
        summary.savedCompilationsOn += saved.compilation ? 1 : 0;
        summary.saved.insert(file.get(), saved);

        const auto merged = picturesAlike || customValuesLeft ? file->TagMap() : nullptr;
        if (picturesAlike) {
            // Compared by content, without reading the pictures' bytes again.
            const quint64 key = merged->Artwork().contentKey();
            if (f == 0)
                pictureKey = key;
            picturesAlike = key != 0 && key == pictureKey;
        }
        if (customValuesLeft) {
            if (f == 0) {
                if (merged->CustomTagValues()) {
                    for (const auto& value : *merged->CustomTagValues())
                        summary.commonCustomTagValues.append(std::make_shared<HLVCustomTagValue>(*value));
                }
            } else {
                narrowCommonCustomValues(summary.commonCustomTagValues, *merged);
            }
            customValuesLeft = !summary.commonCustomTagValues.isEmpty();
        }
    }
    summary.sharedArtwork = !files.isEmpty() && picturesAlike;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!fieldAlike.at(i))
            summary.sharedPending[i].reset();
        if (!shownAlike.at(i))
            summary.sharedShown[i].reset();
    }
    return summary;
}
