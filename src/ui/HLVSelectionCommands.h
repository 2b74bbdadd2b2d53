#pragma once

#include "HLVArtwork.h"
#include "HLVFileData.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class HLVFileManager;
class QObject;

// Commands on a selection of any size, run on the view jobs' pool so the
// window never waits on them; each calls done on the main thread afterwards
// (unless context is gone by then). The records and the manager must outlive
// the work (the application waits for the pool before it lets them go).
class HLVSelectionCommands
{
public:
    // Remove Tags (HLVFileManager::removeTags): the records that can be
    // written get the cleared map as their pending changes; nothing is
    // written until a save.
    static void removeTags(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                           HLVFileManager* manager, HLVCompilationFlag compilation, std::function<void()> done);

    // The first picture of the records in order: a picture chosen for one
    // (pending, with the file a save embeds it from), else the file's own
    // with its bytes. No source when none has one.
    struct Cover
    {
        std::shared_ptr<HLVFileData> source;
        HLVArtwork picture;
        std::optional<QString> path;
    };
    static void findFirstArtwork(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                 std::function<void(const Cover&)> done);
    // Sync Artwork: the cover becomes the chosen picture of every record but
    // its source, which stays as it is. A picture from a file is stored with
    // its own bytes in the artwork folder; false (nothing changed) when it
    // cannot be stored.
    static void applyArtwork(QObject* context, const Cover& cover, const QList<std::shared_ptr<HLVFileData>>& records,
                             HLVFileManager* manager, std::function<void(bool)> done);
};
