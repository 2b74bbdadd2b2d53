// The tag editor's preview of the track shown: the whole file, streamed from
// disk by the player at half volume, when the platform has a media back end.

#include "HLVTagEditorViewController.h"
#include "HLVFileData.h"
#include "HLVHoverButton.h"
#include "HLVTagEditorDelegate.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QUrl>

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("HLVTagEditorViewController", text);
}

// Without a back end plugin QtMultimedia aborts the program at its first use,
// so the plugin files are looked for first, as Qt itself will choose them.
bool backEndPluginInstalled()
{
    const QString chosen = qEnvironmentVariable("QT_MEDIA_BACKEND");
    const QString pattern = chosen.isEmpty() ? QStringLiteral("*mediaplugin*") : QStringLiteral("*%1mediaplugin*").arg(chosen);
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        if (!QDir(folder + QStringLiteral("/multimedia")).entryList({pattern}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

// Cheap enough for every display: no part of QtMultimedia starts.
const QString& whyThereIsNoBackEnd()
{
    static const QString reason = backEndPluginInstalled()
        ? QString()
        : translated("Preview not available: no media playback back end is installed");
    return reason;
}

// Starts the back end (and its sound server connection), so it is asked only
// when a preview is wanted. A back end without its decoders (GStreamer without
// its plugins) cannot even build a player; it shows as one that decodes nothing.
const QString& whyThereAreNoDecoders()
{
    static const QString reason = [] {
        QMediaFormat formats;
        if (formats.supportedFileFormats(QMediaFormat::Decode).isEmpty()
            && formats.supportedAudioCodecs(QMediaFormat::Decode).isEmpty())
            return translated("Preview not available: the media playback plugins (GStreamer base, good and libav) are missing");
        return QString();
    }();
    return reason;
}

} // namespace

void HLVTagEditorViewController::updatePreviewAvailability()
{
    const QString reason = whyThereIsNoBackEnd().isEmpty() ? _previewFailure : whyThereIsNoBackEnd();
    _previewUnavailableReason = reason;
    for (HLVHoverButton* button : {_playTrackIconButton, _playTrackButton}) {
        button->setEnabled(reason.isEmpty());
        button->setToolTip(reason.isEmpty() ? tr("Play Track") : reason);
    }
}

void HLVTagEditorViewController::ensureAudioPlayer()
{
    if (_audioPlayer)
        return;
    _audioPlayer = new QMediaPlayer(this);
    _audioOutput = new QAudioOutput(this);
    _audioOutput->setVolume(0.5f);
    _audioPlayer->setAudioOutput(_audioOutput);
    connect(_audioPlayer, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        // The end of the track, or the back end giving up.
        if (state == QMediaPlayer::StoppedState && _isPreviewing)
            stopTrackPreview();
    });
    connect(_audioPlayer, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& message) {
        stopTrackPreview();
        const QString reason = message.isEmpty() ? tr("The preview failed") : tr("The preview failed: %1").arg(message);
        for (HLVHoverButton* button : {_playTrackIconButton, _playTrackButton})
            button->setToolTip(reason);
        alertPreviewFailure(reason);
    });
}

void HLVTagEditorViewController::playTrackButtonPressed()
{
    confirmChanges();
    if (_isPreviewing) {
        stopTrackPreview();
        return;
    }
    if (!_tagFileData || !_previewUnavailableReason.isEmpty())
        return;
    const QFileInfo file(_tagFileData->FilePath());
    if (!file.isFile() || !file.isReadable()) {
        for (HLVHoverButton* button : {_playTrackIconButton, _playTrackButton})
            button->setToolTip(tr("The preview failed: the file cannot be read"));
        alertPreviewFailure(tr("The preview failed: the file cannot be read"));
        return;
    }
    _previewFailure = whyThereAreNoDecoders();
    if (_previewFailure.isEmpty()) {
        ensureAudioPlayer();
        if (!_audioPlayer->isAvailable())
            _previewFailure = tr("Preview not available: the media playback back end did not start");
    }
    if (!_previewFailure.isEmpty()) {
        updatePreviewAvailability();
        alertPreviewFailure(_previewFailure);
        return;
    }
    // The player streams the file itself: nothing is read into memory here.
    _audioPlayer->setSource(QUrl::fromLocalFile(_tagFileData->FilePath()));
    _audioPlayer->setPosition(0);
    _isPreviewing = true;
    showPreviewPlaying(true);
    _audioPlayer->play();
}

void HLVTagEditorViewController::stopTrackPreview()
{
    const bool wasPreviewing = _isPreviewing;
    _isPreviewing = false;
    if (_audioPlayer && _audioPlayer->playbackState() != QMediaPlayer::StoppedState)
        _audioPlayer->stop();
    if (wasPreviewing)
        showPreviewPlaying(false);
}

void HLVTagEditorViewController::showPreviewPlaying(bool playing)
{
    _playTrackButton->setText(playing ? tr("Stop Track") : tr("Play Track"));
    if (!_playTrackIconButton->setImageWithHover(playing ? QStringLiteral("StopButton") : QStringLiteral("PlayButton")))
        _playTrackIconButton->setText(playing ? QStringLiteral("\u25A0") : QStringLiteral("\u25B6"));
    if (_previewUnavailableReason.isEmpty()) {
        for (HLVHoverButton* button : {_playTrackIconButton, _playTrackButton})
            button->setToolTip(playing ? tr("Stop Track") : tr("Play Track"));
    }
}

void HLVTagEditorViewController::alertPreviewFailure(const QString& reason)
{
    // The click had no other answer: a tool tip alone goes unseen.
    QWidget* over = _delegate ? _delegate->windowToDisplayTagEditorDialogs() : nullptr;
    auto* alert = new QMessageBox(over ? over : window());
    alert->setObjectName(QStringLiteral("previewAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setText(tr("The track cannot be played"));
    alert->setInformativeText(reason);
    alert->addButton(tr("Continue"), QMessageBox::AcceptRole);
    alert->open();
}
