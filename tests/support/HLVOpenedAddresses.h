#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

// While alive, captures the addresses (files, folders, web pages) the program
// asks the desktop to open, instead of opening them.
class HLVOpenedAddresses : public QObject
{
    Q_OBJECT
public:
    HLVOpenedAddresses()
    {
        for (const char* scheme : {"file", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }
    ~HLVOpenedAddresses() override
    {
        for (const char* scheme : {"file", "https"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& address) { opened.append(address); }
};
