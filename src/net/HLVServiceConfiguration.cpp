#include "HLVServiceConfiguration.h"

#include <QSettings>
#include <atomic>
#include <mutex>

#ifndef CADRELLE_VERSION
#define CADRELLE_VERSION "0"
#endif

namespace {

constexpr auto kDefaultRequestPause = std::chrono::milliseconds(1000);
constexpr auto kDefaultTransferTimeout = std::chrono::milliseconds(60000);
constexpr qint64 kDefaultMaximumReplySize = 64LL * 1024 * 1024;
constexpr auto kDefaultRetryBackoff = std::chrono::milliseconds(2000);
constexpr auto kDefaultReplyDeadline = std::chrono::milliseconds(120000);

std::atomic<qint64> requestPauseMs{kDefaultRequestPause.count()};
std::atomic<qint64> transferTimeoutMs{kDefaultTransferTimeout.count()};
std::atomic<qint64> maximumReplyBytes{kDefaultMaximumReplySize};
std::atomic<qint64> retryBackoffMs{kDefaultRetryBackoff.count()};
std::atomic<qint64> replyDeadlineMs{kDefaultReplyDeadline.count()};

std::mutex sessionKeyMutex;
QString sessionKey;

QString addressFromEnvironment(const char* variable, const char* fallback)
{
    QString address = qEnvironmentVariable(variable).trimmed();
    if (address.isEmpty())
        address = QString::fromLatin1(fallback);
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

} // namespace

QString HLVServiceConfiguration::musicBrainzBaseAddress()
{
    return addressFromEnvironment("CADRELLE_MUSICBRAINZ_URL", "https://musicbrainz.org");
}

QString HLVServiceConfiguration::acoustIDBaseAddress()
{
    return addressFromEnvironment("CADRELLE_ACOUSTID_URL", "https://api.acoustid.org");
}

QString HLVServiceConfiguration::coverArtBaseAddress()
{
    return addressFromEnvironment("CADRELLE_COVERART_URL", "https://coverartarchive.org");
}

QString HLVServiceConfiguration::versionFileAddress()
{
    return addressFromEnvironment("CADRELLE_VERSION_URL", "https://cadrelle.github.io/cadrelle/latest-version.txt");
}

QString HLVServiceConfiguration::acoustIDKey()
{
    {
        std::lock_guard lock(sessionKeyMutex);
        if (!sessionKey.isEmpty())
            return sessionKey;
    }
    QString key = qEnvironmentVariable("CADRELLE_ACOUSTID_KEY").trimmed();
    if (key.isEmpty()) {
        const QSettings settings(QStringLiteral("Cadrelle"), QStringLiteral("Cadrelle"));
        key = settings.value(QLatin1String(acoustIDKeyPreference)).toString().trimmed();
    }
    return key.isEmpty() ? QStringLiteral("pQ4vTn8r") : key;
}

void HLVServiceConfiguration::setAcoustIDKeyForSession(const QString& key)
{
    std::lock_guard lock(sessionKeyMutex);
    sessionKey = key.trimmed();
}

QString HLVServiceConfiguration::userAgent()
{
    return QStringLiteral("Cadrelle/%1 ( %2 )").arg(QLatin1String(CADRELLE_VERSION), homePageAddress());
}

QString HLVServiceConfiguration::homePageAddress()
{
    return QStringLiteral("https://github.com/cadrelle/cadrelle");
}

std::chrono::milliseconds HLVServiceConfiguration::requestPause()
{
    return std::chrono::milliseconds(requestPauseMs.load());
}

void HLVServiceConfiguration::setRequestPauseForTesting(std::chrono::milliseconds pause)
{
    requestPauseMs.store(pause.count());
}

std::chrono::milliseconds HLVServiceConfiguration::transferTimeout()
{
    return std::chrono::milliseconds(transferTimeoutMs.load());
}

void HLVServiceConfiguration::setTransferTimeoutForTesting(std::chrono::milliseconds timeout)
{
    transferTimeoutMs.store(timeout.count());
}

std::chrono::milliseconds HLVServiceConfiguration::retryBackoff()
{
    return std::chrono::milliseconds(retryBackoffMs.load());
}

void HLVServiceConfiguration::setRetryBackoffForTesting(std::chrono::milliseconds backoff)
{
    retryBackoffMs.store(backoff.count());
}

std::chrono::milliseconds HLVServiceConfiguration::replyDeadline()
{
    return std::chrono::milliseconds(replyDeadlineMs.load());
}

void HLVServiceConfiguration::setReplyDeadlineForTesting(std::chrono::milliseconds deadline)
{
    replyDeadlineMs.store(deadline.count());
}

qint64 HLVServiceConfiguration::maximumReplySize()
{
    return maximumReplyBytes.load();
}

void HLVServiceConfiguration::setMaximumReplySizeForTesting(qint64 bytes)
{
    maximumReplyBytes.store(bytes);
}

void HLVServiceConfiguration::resetPacingForTesting()
{
    requestPauseMs.store(kDefaultRequestPause.count());
    transferTimeoutMs.store(kDefaultTransferTimeout.count());
    maximumReplyBytes.store(kDefaultMaximumReplySize);
    retryBackoffMs.store(kDefaultRetryBackoff.count());
    replyDeadlineMs.store(kDefaultReplyDeadline.count());
}
