#pragma once

#include <QImage>
#include <QList>
#include <functional>
#include <memory>

class HLVFileData;
class HLVFileManager;
class QObject;

// Commands on a selection of any size, run on the view jobs' pool so the
// window never waits on them; each calls done on the main thread afterwards
// (unless context is gone by then). The records and the manager must outlive
// the work (the application waits for the pool before it lets them go).
class HLVSelectionCommands
{
public:
    // Remove Tags: every record's pending changes become the cleared map;
    // nothing is written until a save.
    static void removeTags(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                           HLVFileManager* manager, std::function<void()> done);
    // The first picture of the records in order: a picture chosen for one
    // (pending), else the file's own. A null image when none has one.
    static void findFirstArtwork(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                 std::function<void(const QImage&)> done);
    // Writes the picture as a JPEG to the temporary artwork folder and makes it
    // the chosen picture of every record; false (nothing changed) when it
    // cannot be written.
    static void applyArtwork(QObject* context, const QImage& image, const QList<std::shared_ptr<HLVFileData>>& records,
                             HLVFileManager* manager, std::function<void(bool)> done);
};
