#include "HLVMakerPages.h"

#include "HLVServiceConfiguration.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrlQuery>

QUrl HLVMakerPages::userGuideAddress()
{
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {bin + QStringLiteral("/../share/doc/cadrelle/user-guide.html"),
                                     bin + QStringLiteral("/docs/user-guide.html")}) {
        if (QFileInfo(candidate).isFile())
            return QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
    }
    return QUrl(HLVServiceConfiguration::homePageAddress() + QStringLiteral("/blob/main/docs/user-guide.html"));
}

QUrl HLVMakerPages::webSiteAddress()
{
    return QUrl(HLVServiceConfiguration::homePageAddress());
}

QUrl HLVMakerPages::downloadAddress()
{
    return QUrl(HLVServiceConfiguration::homePageAddress() + QStringLiteral("/releases/latest"));
}

QUrl HLVMakerPages::supportAddress()
{
    QUrl address(HLVServiceConfiguration::homePageAddress() + QStringLiteral("/issues/new"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("xProduct"), QCoreApplication::applicationName());
    query.addQueryItem(QStringLiteral("xiPod Type"), QStringLiteral("None"));
    address.setQuery(query);
    return address;
}

QUrl HLVMakerPages::acoustIDKeyAddress()
{
    return QUrl(QStringLiteral("https://acoustid.org/new-application"));
}

QUrl HLVMakerPages::musicBrainzAddress()
{
    return QUrl(QStringLiteral("https://musicbrainz.org"));
}

QUrl HLVMakerPages::acoustIDAddress()
{
    return QUrl(QStringLiteral("https://acoustid.org"));
}

QUrl HLVMakerPages::coverArtArchiveAddress()
{
    return QUrl(QStringLiteral("https://coverartarchive.org"));
}
