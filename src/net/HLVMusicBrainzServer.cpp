#include "HLVMusicBrainzServer.h"

#include "HLVServiceConfiguration.h"

#include <mutex>
#include <optional>

namespace {

std::mutex cacheMutex;
std::optional<QString> cachedAddress;

} // namespace

QString HLVMusicBrainzServer::_determineAddress() const
{
    std::lock_guard lock(cacheMutex);
    return cachedAddress ? *cachedAddress : HLVServiceConfiguration::musicBrainzBaseAddress();
}

QString HLVMusicBrainzServer::serverAddress()
{
    {
        std::lock_guard lock(cacheMutex);
        if (cachedAddress)
            return *cachedAddress;
    }
    const QString determined = HLVMusicBrainzServer()._determineAddress();
    std::lock_guard lock(cacheMutex);
    // Several threads may get here at once; the first to store wins, all answer the same.
    if (!cachedAddress)
        cachedAddress = determined;
    return *cachedAddress;
}

QString HLVMusicBrainzServer::fallback()
{
    {
        std::lock_guard lock(cacheMutex);
        if (cachedAddress) {
            cachedAddress = HLVServiceConfiguration::musicBrainzBaseAddress();
            return *cachedAddress;
        }
    }
    return serverAddress();
}

void HLVMusicBrainzServer::setCommonHeaders(QNetworkRequest& request)
{
    request.setRawHeader("User-Agent", "Cadrelle/2.XX");
    request.setRawHeader("Referer", HLVServiceConfiguration::homePageAddress().toUtf8());
}

void HLVMusicBrainzServer::resetForTesting()
{
    std::lock_guard lock(cacheMutex);
    cachedAddress.reset();
}
