#pragma once

#include "HLVCustomTagValue.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

class HLVFileData;
class HLVTagMap;
struct HLVTagField;

// What the tag editor shows for several files, worked out off the main
// thread (it reads the tags of records not read yet): per field the pending
// value all files share, the value they share once it is applied, the values saved in the files (as counts, so the
// summary of many files stays small), the compilation flags, and the custom
// tags all files have. Saved values of records that did not change can be
// taken over from an earlier summary.
class HLVSelectionSummary
{
public:
    // What one file has saved, as the fields show it.
    struct Saved
    {
        QStringList texts; // one per field, in the fields' order
        bool compilation = false;
    };
    using SavedByRecord = QHash<const HLVFileData*, Saved>;

    // A value as its field shows it: absent and 0 both show as the empty text.
    static QString shownText(const HLVTagField& field, const HLVTagMap* map);
    static Saved savedOf(const std::shared_ptr<HLVFileData>& file, const QList<const HLVTagField*>& fields);

    // Absent when cancelled. Records in earlier and not in changed keep their
    // saved values from there.
    static std::optional<HLVSelectionSummary> of(const QList<std::shared_ptr<HLVFileData>>& files,
                                                 const QList<const HLVTagField*>& fields,
                                                 const std::atomic<bool>& cancelled,
                                                 const SavedByRecord& earlier = {},
                                                 const QSet<const HLVFileData*>& changed = {});

    qsizetype fileCount = 0;
    QList<std::optional<QString>> sharedPending; // per field
    // Per field: the text every file would hold once its pending changes are
    // applied (as the field shows it), absent where they differ.
    QList<std::optional<QString>> sharedShown;
    QList<QHash<QString, int>> savedCounts;      // per field: saved text -> files
    // Every file holds the same picture once its pending changes apply.
    bool sharedArtwork = false;
    std::optional<bool> sharedPendingCompilation;
    bool pendingCompilationAlike = true;
    int savedCompilationsOn = 0;
    HLVCustomTagValueArray commonCustomTagValues;
    SavedByRecord saved;
};
