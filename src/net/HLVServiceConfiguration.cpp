#include "HLVServiceConfiguration.h"

#include <atomic>
#include <thread>

namespace {

constexpr auto kDefaultRequestPause = std::chrono::milliseconds(1000);
constexpr auto kDefaultTransferTimeout = std::chrono::milliseconds(60000);
constexpr qint64 kDefaultMaximumReplySize = 64LL * 1024 * 1024;

std::atomic<qint64> requestPauseMs{kDefaultRequestPause.count()};
std::atomic<qint64> transferTimeoutMs{kDefaultTransferTimeout.count()};
std::atomic<qint64> maximumReplyBytes{kDefaultMaximumReplySize};

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

QString HLVServiceConfiguration::acoustIDKey()
{
    const QString key = qEnvironmentVariable("CADRELLE_ACOUSTID_KEY").trimmed();
    return key.isEmpty() ? QStringLiteral("pQ4vTn8r") : key;
}

QString HLVServiceConfiguration::homePageAddress()
{
    return QStringLiteral("https://github.com/cadrelle/cadrelle");
}

std::chrono::milliseconds HLVServiceConfiguration::requestPause()
{
    return std::chrono::milliseconds(requestPauseMs.load());
}

void HLVServiceConfiguration::pauseBeforeRequest()
{
    const auto pause = requestPause();
    if (pause.count() > 0)
        std::this_thread::sleep_for(pause);
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
}
