#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// Whether the maker has published a newer version than the one running. The
// latest version is a plain decimal number in a text file on the maker's site.
class HLVUpdateChecker
{
public:
    static QUrl LatestVersionURL();
    static QUrl UpdateDownloadURL();
    // What a check found: whether a newer version is published, or why it
    // could not tell (the version file unreachable, refused or not a number).
    struct Check
    {
        bool available = false;
        std::optional<QString> failure;
    };
    // Blocking (one web request): never call on the main thread.
    static Check check();
    // False also when the check failed.
    static bool IsUpdateAvailable() { return check().available; }
    // True exactly when both read as plain decimal numbers and the fetched one
    // is the greater: "2.1" is newer than "2.09", "2.1.3" never is.
    static bool isVersionNewer(const QString& fetched, const QString& running);
    // The running version as a decimal number: the first two parts of the
    // application version ("0.1" of "0.1.0").
    static QString runningVersion();
};
