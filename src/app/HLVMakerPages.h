#pragma once

#include <QUrl>

// The maker's pages and the pages of the services the program credits. The
// user guide is the page installed with the program; the others are web pages.
class HLVMakerPages
{
public:
    // The installed guide (share/doc/cadrelle beside the executable's bin
    // folder), else the copy the build puts beside the executable.
    static QUrl userGuideAddress();
    static QUrl webSiteAddress();
    static QUrl downloadAddress();
    // The support form, naming the product and no device.
    static QUrl supportAddress();
    // Where a user registers an application key of their own.
    static QUrl acoustIDKeyAddress();
    static QUrl musicBrainzAddress();
    static QUrl acoustIDAddress();
    static QUrl coverArtArchiveAddress();
};
