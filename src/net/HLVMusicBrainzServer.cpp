#include "HLVMusicBrainzServer.h"

#include "HLVDataRequest.h"
#include "HLVQueryEncoding.h"
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
    request.setRawHeader("User-Agent", HLVServiceConfiguration::userAgent().toUtf8());
    request.setRawHeader("Referer", HLVServiceConfiguration::homePageAddress().toUtf8());
    HLVDataRequest::setGate(request, HLVServiceGate::MusicBrainz);
}

QString HLVMusicBrainzServer::searchTerm(const QString& value)
{
    // The characters the search syntax reserves. '&' and '|' count only doubled
    // ("&&", "||"), so "Simon & Garfunkel" keeps its plain ampersand.
    static const QString special = QStringLiteral("+-!(){}[]^\"~*?:\\/");
    QString escaped;
    escaped.reserve(value.size() * 2);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool doubled = (c == QLatin1Char('&') || c == QLatin1Char('|')) && i + 1 < value.size()
            && value.at(i + 1) == c;
        if (special.contains(c) || doubled)
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return HLVQueryEncoding::encodeValue(escaped);
}

void HLVMusicBrainzServer::resetForTesting()
{
    std::lock_guard lock(cacheMutex);
    cachedAddress.reset();
}
