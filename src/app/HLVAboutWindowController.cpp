#include "HLVAboutWindowController.h"

#include "HLVMakerPages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef CADRELLE_BUILD
#define CADRELLE_BUILD "0"
#endif

HLVAboutWindowController::HLVAboutWindowController(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HLVAboutWindowController"));
    setWindowTitle(tr("About Cadrelle"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 20);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/images/Cadrelle.svg")).pixmap(96, 96));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto* name = new QLabel(QStringLiteral("Cadrelle"), this);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    name->setFont(font);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    _versionTextField = new QLabel(tr("Version %1").arg(QCoreApplication::applicationVersion()), this);
    _versionTextField->setObjectName(QStringLiteral("versionTextField"));
    layout->addWidget(_versionTextField, 0, Qt::AlignHCenter);
    _buildTextField = new QLabel(tr("Build %1").arg(QLatin1String(CADRELLE_BUILD)), this);
    _buildTextField->setObjectName(QStringLiteral("buildTextField"));
    layout->addWidget(_buildTextField, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    auto* credits = new QLabel(tr("Tags from MusicBrainz, recordings recognised by AcoustID, "
                                              "artwork from the Cover Art Archive."),
                               this);
    credits->setObjectName(QStringLiteral("creditsTextField"));
    credits->setWordWrap(true);
    credits->setAlignment(Qt::AlignCenter);
    layout->addWidget(credits);
    auto* links = new QGridLayout;
    layout->addLayout(links);
    const QList<QPushButton*> buttons{
        addLinkButton(QStringLiteral("hlvWebsiteButton"), tr("Cadrelle Website"),
                      HLVMakerPages::webSiteAddress()),
        addLinkButton(QStringLiteral("musicBrainzButton"), QStringLiteral("MusicBrainz"),
                      HLVMakerPages::musicBrainzAddress()),
        addLinkButton(QStringLiteral("acoustIDButton"), QStringLiteral("AcoustID"), HLVMakerPages::acoustIDAddress()),
        addLinkButton(QStringLiteral("coverArtArchiveButton"), QStringLiteral("Cover Art Archive"),
                      HLVMakerPages::coverArtArchiveAddress()),
    };
    for (int i = 0; i < buttons.size(); ++i)
        links->addWidget(buttons[i], i / 2, i % 2);
}

QPushButton* HLVAboutWindowController::addLinkButton(const QString& objectName, const QString& text,
                                                     const QUrl& address)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    button->setToolTip(address.toString());
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [address] { QDesktopServices::openUrl(address); });
    _linkButtons.append(button);
    return button;
}
