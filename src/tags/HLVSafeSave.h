#pragma once

#include "HLVFailure.h"

#include <QList>
#include <QString>
#include <functional>

namespace TagLib {
class IOStream;
}

// Saves that either complete or leave the file as it was, even when the
// process dies part-way, and that a leftover can never turn against the user.
//
// TagLib writes into a stream that records instead of writing (see
// HLVRecordingStream), so the save knows every byte it will change before it
// changes one, and checks that the audio stays as it was. Then:
//   - when the bytes that stay keep their offsets (the tags fit where they
//     were), a journal holding the file's identity and the old and new bytes of
//     each changed stretch is written and flushed; the stretches are written
//     into the file, flushed and read back; the journal is removed;
//   - when the audio moves, the new file is written beside the old under a
//     temporary name, flushed, checked, and renamed over it. Where a rename
//     would lose something (hard links, another owner, attributes that cannot
//     be carried over, a folder that cannot be written) the journal is used
//     instead, holding all it changes.
// The journal lives beside the file (".NAME.cadrelle-journal") or, when the
// folder cannot be written, in the program's data folder. One writer at a
// time, across processes too: a save holds an exclusive lock on the file for
// its whole length, and recovery leaves alone a file whose lock is held.
//
// Recovery restores only what it can prove: a journal is undone only in the
// same file (device and inode) and only where that file holds the journal's old
// bytes, its new bytes or a mix of the two. Anything else leaves the file as
// it is and keeps the leftover under a visible dated name without an audio
// extension ("a.mp3.cadrelle-interrupted-20261208"), which is reported.
class HLVSafeSave
{
public:
    enum class Recovery {
        NothingToDo,     // nothing left by an interrupted save
        Restored,        // an interrupted save was undone
        Finished,        // the save had written all it meant to; its journal was dropped
        RemovedLeftover, // only what held nothing of the file's was removed
        KeptAside,       // unproven: the file untouched, the leftover renamed; failure says where
        Busy,            // a save holds the file right now
        Failed,          // the leftover stays; failure says why
    };

    // Runs TagLib's writes into stream, answering whether they were made.
    // Reads pass through to the file; nothing reaches it until the writes are
    // known and checked.
    using Write = std::function<bool(TagLib::IOStream& stream, HLVFailure* failure)>;

    // Saves one file. False with the reason when nothing was saved. A write
    // that answers false with CustomTagRefused is saved all the same and
    // answered false with its reason.
    static bool saveFileAtPath(const QString& path, const Write& write, HLVFailure* failure = nullptr);

    // Saves many files, flushing them to disk in groups (up to 64 files or
    // 64 MB of journals): one flush serves a group. The files' tags are read
    // and their changes worked out on several threads at once, so a request's
    // write may run on any of them; a file named twice, by one name or two,
    // is saved in the order of requests. Each request gets its own answer, as
    // saveFileAtPath() would give it.
    // Once stopped answers true, no further file is begun; those left are
    // marked stopped, neither saved nor failed.
    struct Request
    {
        QString path;
        Write write;
        bool saved = false;
        HLVFailure failure;
        bool stopped = false;
    };
    static void saveFiles(QList<Request>& requests, const std::function<bool()>& stopped = {});

    // Undoes, drops or sets aside what an interrupted save of the file left.
    // Cheap when nothing is left (a few look-ups), so it can run for every
    // file that is added.
    static Recovery recoverFileAtPath(const QString& path, HLVFailure* failure = nullptr);

    // recoverFileAtPath() for a file whose lock (HLVSaveLock) the caller holds, open as fd.
    static Recovery recoverHeldFile(const QString& path, int fd, HLVFailure* failure);

    // True when something an interrupted save left waits for recovery; looks
    // only, never writes. A save under way (its lock held) is not pending.
    static bool hasPendingRecovery(const QString& path);

    // Names of files this program leaves beside a file while saving it, of
    // this version and of earlier ones: never listed as tracks.
    static bool isLeftoverName(const QString& fileName);

    // Where the leftovers of a save of the file at path are kept.
    static QString journalPathForPath(const QString& path);
    static QString dataFolderJournalPathForPath(const QString& path);
    static QString temporaryPathForPath(const QString& path);
    // A journal is written under this name and renamed to its own once whole,
    // so a journal found under its name is never one cut while being written.
    static QString unfinishedJournalPathFor(const QString& journalPath);
    // The copy earlier versions kept (".NAME.cadrelle-original").
    static QString earlierCopyPathForPath(const QString& path);

    // Tests only: called at the two points of a save where a fault is most
    // telling; target is the file (or the new file beside it) being written,
    // journal the journal's path (empty without one).
    enum class Stage { BeforeWrite, AfterWrite };
    using Hook = std::function<void(Stage stage, const QString& target, const QString& journal)>;
    static void setHookForTesting(Hook hook);
};
