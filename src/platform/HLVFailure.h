#pragma once

#include <QString>
#include <optional>

// Why something failed, for the person who asked: a kind that code can test and
// a short sentence that can be shown as it is ("cannot reach AcoustID").
// Failures stay results: a function that can fail answers false or absent and,
// when given a place for it, says why there.
struct HLVFailure
{
    enum class Kind {
        Other,
        // files
        FileMissing,        // no such file, or not a regular file
        ReadOnly,           // the file (or its folder) cannot be written
        NotAudio,           // not a file of its format, or TagLib cannot open it
        StructureRefused,   // a damaged layout, or one that writing could damage
        WriteFailed,        // the write itself failed (disk full, size limit, I/O)
        CustomTagRefused,   // a custom value that cannot be stored as text
        RenameFailed,       // the new name is taken, or the folder refused the move
        // identification and artwork
        FingerprinterMissing,
        FingerprintEmpty,
        Unreachable,        // no connection, refused, host not found
        TimedOut,
        RateLimited,        // 503/429 after the retries
        KeyRejected,        // AcoustID refused the application key
        BadReply,           // an answer that does not parse
        NoRecording,
        NoRelease,
        NoCover,
        DownloadFailed,
        Stopped,            // the user stopped the operation
    };

    Kind kind = Kind::Other;
    QString message;

    static HLVFailure make(Kind kind, const QString& message) { return HLVFailure{kind, message}; }
    bool operator==(const HLVFailure& other) const = default;
};

// Sets *out when the caller asked for the reason; answers false so that a
// failing function can `return HLVReportFailure(failure, ...)`.
inline bool HLVReportFailure(HLVFailure* out, HLVFailure::Kind kind, const QString& message)
{
    if (out)
        *out = HLVFailure{kind, message};
    return false;
}
