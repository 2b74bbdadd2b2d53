// The application controller's background checks: whether the web services
// answer, and whether a newer version has been published.
#include "HLVAppDelegate.h"

#include "HLVAboutWindowController.h"
#include "HLVCadrelleWindow.h"
#include "HLVMakerPages.h"
#include "HLVMusicBrainzArtistID.h"
#include "HLVUpdateChecker.h"

#include <QDesktopServices>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace {

// Any artist MusicBrainz knows.
const QString connectionCheckArtist = QStringLiteral("Radiohead");
// A fingerprint in AcoustID's compressed form and its duration. The check
// needs only the service's "ok": a lookup without a recording still proves
// the service reachable and the key accepted.
const QString connectionCheckFingerprint = QStringLiteral(
    "AQAAE0mWKUmUMEUvNMuDHw96NHvw4-iP5inQo3mAo3wCn8YBA4gDSxAnFkAKQYUs");
const QString connectionCheckDuration = QStringLiteral("5");

} // namespace

std::optional<int> HLVAppDelegate::reconnectDelayAfterAttempt(int attempt)
{
    switch (attempt) {
    case 1: return 5;
    case 2: return 15;
    case 3: return 60;
    case 4: return 300;
    default: return std::nullopt;
    }
}

void HLVAppDelegate::checkConnection()
{
    ++_connectionAttemptCount;
    // The artist lookup blocks, so it never runs on the main thread.
    _backgroundPool.start([this] {
        HLVMusicBrainzArtistID lookup;
        const bool found = lookup.GetArtistIdFromArtist(connectionCheckArtist).has_value();
        QMetaObject::invokeMethod(this, [this, found] { artistLookupFinished(found); }, Qt::QueuedConnection);
    });
}

void HLVAppDelegate::artistLookupFinished(bool found)
{
    if (!found) {
        showConnectionStatus(tr("No connection"), QStringLiteral("StatusUnavailable"),
                             tr("A connection could not be established"));
        if (_alertOfConnectionStatus)
            warnOfNoConnection();
        attemptRecconnect();
        return;
    }
    if (!_acoustIDIdentifier) {
        _acoustIDIdentifier = HLVAcoustIDIdentifier::create();
        _acoustIDIdentifier->setDelegate(this);
    }
    _acoustIDIdentifier->identifyFingerprint(connectionCheckFingerprint, connectionCheckDuration);
}

void HLVAppDelegate::OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                              const std::optional<QString>&,
                                                              const std::optional<QString>&,
                                                              const std::optional<HLVFailure>& failure)
{
    const bool reachable = recordingMBID.has_value() || (failure && failure->kind == HLVFailure::Kind::NoRecording);
    QMetaObject::invokeMethod(
        this, [this, reachable, failure] { acoustIDLookupFinished(reachable, failure); }, Qt::QueuedConnection);
}

void HLVAppDelegate::acoustIDLookupFinished(bool reachable, const std::optional<HLVFailure>& failure)
{
    if (reachable) {
        showConnectionStatus(tr("Connected"), QStringLiteral("StatusAvailable"),
                             tr("Connection was successful"));
        return;
    }
    QString toolTip = tr("Certain functionality may be limited");
    if (failure && !failure->message.isEmpty())
        toolTip += QStringLiteral(": ") + failure->message;
    showConnectionStatus(tr("Partial Connection"), QStringLiteral("StatusPartiallyAvailable"), toolTip);
    if (_alertOfConnectionStatus)
        warnOfPartialConnection();
    attemptRecconnect();
}

void HLVAppDelegate::showConnectionStatus(const QString& text, const QString& image, const QString& toolTip)
{
    _serverStatusTextField->setText(text);
    _serverStatusTextField->setToolTip(toolTip);
    _serverStatusImageView->setPixmap(
        QIcon(QStringLiteral(":/images/%1.svg").arg(image)).pixmap(_serverStatusImageView->size()));
    _serverStatusImageView->setToolTip(toolTip);
}

QMessageBox* HLVAppDelegate::showAlert(const QString& objectName, const QString& message, const QString& informative)
{
    auto* alert = new QMessageBox(_window);
    alert->setObjectName(objectName);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setText(message);
    alert->setInformativeText(informative);
    // Short texts on one line, long ones wrapped at a readable width: never
    // squeezed to the longest word, which cuts the title too.
    for (QLabel* label : alert->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const QFontMetrics metrics = label->fontMetrics();
        label->setMinimumWidth(std::min(metrics.horizontalAdvance(label->text()), metrics.averageCharWidth() * 52));
    }
    return alert;
}

void HLVAppDelegate::openInBrowser(const QUrl& address)
{
    if (QDesktopServices::openUrl(address))
        return;
    // No browser to hand it to: the user can still go there.
    QMessageBox* alert = showAlert(QStringLiteral("browserAlert"), tr("Could not open a web browser"),
                                   tr("Open this address in a web browser:\n%1").arg(address.toString()));
    alert->setTextInteractionFlags(Qt::TextSelectableByMouse);
    alert->addButton(tr("Continue"), QMessageBox::AcceptRole);
    alert->open();
}

// Shown at most once a run, whichever of the two it is.
static void openConnectionAlert(QMessageBox* alert)
{
    alert->setIconPixmap(QPixmap(QStringLiteral(":/images/DetagAlertImage.png"))
                             .scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    alert->addButton(HLVAppDelegate::tr("Continue"), QMessageBox::AcceptRole);
    alert->open();
}

void HLVAppDelegate::warnOfNoConnection()
{
    openConnectionAlert(showAlert(QStringLiteral("connectionAlert"), tr("Unable to connect"),
                                  tr("Cadrelle was unable to connect to the Cadrelle servers. An active "
                                                 "internet connection is required to download tags and artwork. "
                                                 "Other functionality will not be affected.")));
    _alertOfConnectionStatus = false;
}

void HLVAppDelegate::warnOfPartialConnection()
{
    openConnectionAlert(showAlert(QStringLiteral("connectionAlert"), tr("Limited Connection"),
                                  tr("Cadrelle was unable to connect to one or more services. Tag "
                                                 "downloading may be unavailable or limited. Other functionality "
                                                 "should not be affected.")));
    _alertOfConnectionStatus = false;
}

void HLVAppDelegate::attemptRecconnect()
{
    const std::optional<int> delay = reconnectDelayAfterAttempt(_connectionAttemptCount);
    if (delay)
        _reconnectTimer->start(*delay * 1000);
}

// --- updates ---------------------------------------------------------------------------

void HLVAppDelegate::checkForUpdatesMenuItemSelected()
{
    _backgroundPool.start([this] {
        const HLVUpdateChecker::Check check = HLVUpdateChecker::check();
        QMetaObject::invokeMethod(
            this, [this, check] { showUpdateAlert(check.available, check.failure.value_or(QString())); },
            Qt::QueuedConnection);
    });
}

QMessageBox* HLVAppDelegate::showUpdateAlert(bool updateAvailable, const QString& failure)
{
    if (!failure.isEmpty()) {
        // A failed check is no answer: say so, and why.
        QMessageBox* alert = showAlert(QStringLiteral("updateAlert"), tr("Could not check for updates"),
                                       tr("Cadrelle could not find out whether a newer version is available: %1.")
                                           .arg(failure));
        alert->addButton(tr("Continue"), QMessageBox::AcceptRole);
        alert->open();
        return alert;
    }
    if (!updateAvailable) {
        QMessageBox* alert = showAlert(QStringLiteral("updateAlert"), QString(),
                                       tr("You are currently running the latest version of Cadrelle."));
        alert->addButton(tr("Continue"), QMessageBox::AcceptRole);
        alert->open();
        return alert;
    }
    QMessageBox* alert = showAlert(QStringLiteral("updateAlert"), tr("An update is available!"),
                                   tr("A newer version of Cadrelle is available. Would you like to update now?"));
    QPushButton* download = alert->addButton(tr("Download Now"), QMessageBox::AcceptRole);
    QPushButton* dismiss = alert->addButton(tr("Dismiss"), QMessageBox::RejectRole);
    alert->setDefaultButton(download);
    alert->setEscapeButton(dismiss);
    connect(alert, &QMessageBox::buttonClicked, this, [this, download](QAbstractButton* button) {
        if (button == download)
            openInBrowser(HLVUpdateChecker::UpdateDownloadURL());
    });
    alert->open();
    return alert;
}
