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
    // Blocking (one web request): never call on the main thread. False when
    // the version file cannot be read or does not hold a plain number.
    static bool IsUpdateAvailable();
    // True exactly when both read as plain decimal numbers and the fetched one
    // is the greater: "2.1" is newer than "2.09", "2.1.3" never is.
    static bool isVersionNewer(const QString& fetched, const QString& running);
    // The running version as a decimal number: the first two parts of the
    // application version ("0.1" of "0.1.0").
    static QString runningVersion();
};
