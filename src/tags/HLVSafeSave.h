#pragma once

#include "HLVFailure.h"

#include <QString>
#include <functional>

// Saves that either complete or leave the file as it was, even when the
// process dies part-way. TagLib rewrites a file in place, from the tag to the
// end when the tag grows; a kill, a full disk or a size limit during that write
// cuts the audio. So before the write the file is copied aside, in its own
// folder, under a hidden name (".<name>.cadrelle-original") and flushed to disk;
// the write then goes into the file itself (its inode, links, owner and
// permissions stay), is flushed and checked: the file must open and hold the
// copy's audio bytes. Any failure puts the copy's bytes back in place. The copy
// is removed only once the file is either saved or restored, so a copy found
// beside a file means a save that never finished: recoverFileAtPath() then
// puts the original back.
//
// Large MP3 and FLAC files are first saved as a trial into a sparse stand-in
// that holds only their tags and the start of their audio. When that save
// leaves the audio where it was, the real one rewrites the tags in place, and
// only the tags are copied aside.
class HLVSafeSave
{
public:
    enum class Recovery {
        NothingToDo,        // no copy beside the file
        RemovedStaleCopy,   // the file was still the original
        Restored,           // the file was put back from the copy
        Failed,             // the copy stays; the failure says why
    };

    // Whether a write does the same each time it runs. One that fetches a
    // picture from the web may not, and is never tried out first: a trial
    // that leaves the audio in place would not prove the real write does.
    enum class WriteKind { Repeatable, Once };

    // Runs write (TagLib writing the file at target in place, answering
    // whether it did) on path under the protection described above; a
    // repeatable write may also be given a trial stand-in with the same
    // extension first. A file that is not an existing, non-empty regular file
    // is handed to write unprotected: there is nothing to keep, and the writers
    // refuse it themselves.
    using Write = std::function<bool(const QString& target, HLVFailure* failure)>;
    static bool saveFileAtPath(const QString& path, const Write& write, HLVFailure* failure = nullptr,
                               WriteKind kind = WriteKind::Repeatable);

    // Puts back the original of a save that was interrupted, or removes a copy
    // that no longer differs from the file. Cheap when there is no copy (two
    // look-ups), so it can run for every file that is added. A file this
    // process is saving right now is left to that save.
    static Recovery recoverFileAtPath(const QString& path, HLVFailure* failure = nullptr);

    // Where the copy of the file at path is kept while it is saved.
    static QString copyPathForPath(const QString& path);
};
