// The tag editor's artwork well: its commands, drops, the clipboard and the
// fetch of a picture found on the web.

#include "HLVTagEditorViewController.h"
#include "HLVArtworkFolder.h"
#include "HLVArtwork.h"
#include "HLVArtworkWindowController.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVHoverButton.h"
#include "HLVImageData.h"
#include "HLVMainThread.h"
#include "HLVTagEditorDelegate.h"
#include "HLVViewJobs.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QThreadPool>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

namespace {

QImage readImage(const QString& path, HLVFailure* failure)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        HLVReportFailure(failure, QFileInfo::exists(path) ? HLVFailure::Kind::Other : HLVFailure::Kind::FileMissing,
                         QFileInfo::exists(path) ? HLVTagEditorViewController::tr("the picture cannot be read")
                                                 : HLVTagEditorViewController::tr("the picture file is missing"));
    }
    return image;
}

} // namespace

void HLVTagEditorViewController::showArtworkImage(const QImage& image)
{
    _artworkImage = image;
    _thumbnailOf.reset();
    _artworkTitle.clear();
    const qreal ratio = _viewArtworkButton->devicePixelRatioF();
    const QSize room = _viewArtworkButton->iconSize() * ratio;
    QPixmap shown = QPixmap::fromImage(image.size().width() <= room.width() && image.size().height() <= room.height()
                                           ? image
                                           : image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    shown.setDevicePixelRatio(ratio);
    _viewArtworkButton->setText(QString());
    _viewArtworkButton->setImage(QIcon(shown));
    _removeArtworkButton->setEnabled(true);
}

void HLVTagEditorViewController::showArtworkOf(const std::shared_ptr<HLVFileData>& fileData, const HLVArtwork& artwork)
{
    if (artwork.hasPictureData()) {
        const QImage image = artwork.image();
        if (!image.isNull())
            showArtworkImage(image);
        return;
    }
    // The file's own picture: read when shown, as a thumbnail for the well.
    const quint64 fetch = _artworkFetch;
    const QSize room = _viewArtworkButton->iconSize() * _viewArtworkButton->devicePixelRatioF();
    _pictureJob->start([this, fileData, room, fetch](const std::atomic<bool>&) -> HLVViewJobs::Apply {
        const QImage full = fileData->readOwnArtwork().image();
        const QImage thumbnail = full.isNull() ? full : full.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return [this, fileData, thumbnail, fetch] {
            // Still shown: the file alone, or the first of files sharing the picture.
            const bool shown = fileData == _tagFileData
                || (!_tagFileData && !_tagFileArray.isEmpty() && _tagFileArray.constFirst() == fileData);
            if (!shown || fetch != _artworkFetch)
                return;
            if (thumbnail.isNull()) {
                showArtworkTitle(tr("No artwork"));
                _removeArtworkButton->setEnabled(false);
                return;
            }
            showArtworkImage(thumbnail);
            _thumbnailOf = fileData;
        };
    });
}

void HLVTagEditorViewController::withFullArtwork(const std::function<void(const QImage&)>& use)
{
    if (!_thumbnailOf) {
        use(_artworkImage);
        return;
    }
    const std::shared_ptr<HLVFileData> fileData = _thumbnailOf;
    HLVViewJobs::run(this, [fileData, use, self = QPointer<HLVTagEditorViewController>(this)] {
        const QImage full = fileData->readOwnArtwork().image();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, full, use] {
            if (self && !full.isNull())
                use(full);
        }, Qt::QueuedConnection);
    }, nullptr);
}

// The well stays enabled without a picture: it still takes drops and pastes,
// and a click on it then does nothing.
void HLVTagEditorViewController::showArtworkTitle(const QString& title)
{
    _artworkImage = QImage();
    _artworkTitle = title;
    _viewArtworkButton->setImage(QIcon());
    _viewArtworkButton->setText(title);
}

QString HLVTagEditorViewController::artworkTitle() const
{
    return _artworkTitle;
}

bool HLVTagEditorViewController::isArtworkLoading() const
{
    // Asked of the indicator itself: the editor may be off screen.
    return !_artworkProgressIndicator->isHidden();
}

void HLVTagEditorViewController::setShowArtworkLoading(bool show)
{
    if (show) {
        _artworkProgressIndicator->show();
        if (_artworkImage.isNull())
            showArtworkTitle(QString());
    } else if (!_artworkIsDownloading) {
        _artworkProgressIndicator->hide();
    }
}

bool HLVTagEditorViewController::initialTagsHaveArtwork(const std::shared_ptr<HLVFileData>& fileData) const
{
    const auto initial = fileData ? fileData->InitialTagMap() : nullptr;
    return initial && !initial->Artwork().isNull();
}

// --- commands --------------------------------------------------------------------------------

void HLVTagEditorViewController::downloadArtworkButtonPressed()
{
    confirmChanges();
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty() || !_fileManager)
        return;
    for (const auto& file : files)
        file->editVirtualTagMap([](HLVTagMap& map) { map.setArtworkAttempted(false); });
    if (_tagFileData)
        _fileManager->obtainArtworkForFile(_tagFileData);
    else
        _fileManager->obtainArtworkForFiles(_tagFileArray);
}

void HLVTagEditorViewController::loadArtworkButtonPressed()
{
    confirmChanges();
    if (filesShown().isEmpty())
        return;
    auto* panel = new QFileDialog(_fileDialogWindow ? _fileDialogWindow.data() : window());
    panel->setObjectName(QStringLiteral("loadArtworkPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setLabelText(QFileDialog::Accept, tr("Select"));
    panel->setNameFilter(tr("Images (*.jpg *.JPG *.jpeg *.JPEG *.png *.PNG)"));
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) { loadArtworkFromPath(path); });
    panel->open();
}

bool HLVTagEditorViewController::loadArtworkFromPath(const QString& path, HLVFailure* failure)
{
    const QList<std::shared_ptr<HLVFileData>> shown = filesShown();
    if (shown.isEmpty())
        return HLVReportFailure(failure, HLVFailure::Kind::Other, tr("no file is shown"));
    if (std::ranges::none_of(shown, [](const auto& file) { return file->canBeEdited(); }))
        return HLVReportFailure(failure, HLVFailure::Kind::Other, tr("the file cannot be changed"));
    const QImage image = readImage(path, failure);
    if (image.isNull())
        return false;
    applyChosenArtwork(image, path);
    return true;
}

void HLVTagEditorViewController::applyChosenArtwork(const QImage& image, const QString& path)
{
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    const HLVArtwork artwork(image);
    for (const auto& file : files)
        file->chooseArtwork(artwork, path);
    showArtworkImage(image);
    // The picture just chosen is a change that can be undone, whether or not
    // the file had one of its own.
    _restoreArtworkButton->setEnabled(true);
    tellFileManager();
    tellDelegateOfModification();
}

void HLVTagEditorViewController::restoreArtworkButtonPressed()
{
    confirmChanges();
    if (_tagFileData) {
        const auto initial = _tagFileData->InitialTagMap();
        const HLVArtwork own = initial ? initial->Artwork() : HLVArtwork();
        ++_artworkFetch; // a picture on its way is not the file's own
        if (!own.isNull()) {
            showArtworkOf(_tagFileData, own);
        } else {
            showArtworkTitle(tr("No artwork"));
            _removeArtworkButton->setEnabled(false);
        }
        _tagFileData->editVirtualTagMap([&](HLVTagMap& map) {
            map.setArtwork(own);
            map.setArtworkPath(std::nullopt);
            map.setArtworkState(HLVArtworkStateInFile);
        });
    } else if (!_tagFileArray.isEmpty()) {
        for (const auto& file : std::as_const(_tagFileArray)) {
            file->editVirtualTagMap([](HLVTagMap& map) {
                map.setArtwork(HLVArtwork());
                map.setArtworkPath(std::nullopt);
                map.setArtworkState(HLVArtworkStateInFile);
            });
        }
        showArtworkTitle(tr("Multiple artwork"));
    } else {
        return;
    }
    tellDelegateOfModification();
    _restoreArtworkButton->setEnabled(false);
}

void HLVTagEditorViewController::removeArtworkButtonPressed()
{
    confirmChanges();
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty())
        return;
    for (const auto& file : files) {
        file->editVirtualTagMap([](HLVTagMap& map) {
            map.setArtwork(HLVArtwork());
            map.setArtworkPath(std::nullopt);
            map.setArtworkState(HLVArtworkStateRemove);
            // Removing is the choice: a save must not look for a picture instead.
            map.setArtworkAttempted(true);
        });
        file->forceIsModified();
    }
    showArtworkTitle(tr("No artwork"));
    _removeArtworkButton->setEnabled(false);
    if (_tagFileData)
        _restoreArtworkButton->setEnabled(initialTagsHaveArtwork(_tagFileData));
    noteFirstModification(true);
    tellDelegateOfModification();
}

void HLVTagEditorViewController::viewArtworkButtonPressed()
{
    if (!_artworkImage.isNull())
        withFullArtwork([this](const QImage& image) { _artworkWindowController->showWindowWithArtwork(image); });
}

// --- the picture found on the web ----------------------------------------------------------------

void HLVTagEditorViewController::loadArtworkFromFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    const auto pending = fileData ? fileData->existingVirtualTagMap() : nullptr;
    if (!pending || !pending->ArtworkPath())
        return;
    const QString path = *pending->ArtworkPath();
    const std::optional<QString> album = fileData->TagMap()->AlbumName();
    setShowArtworkLoading(true);
    _artworkIsDownloading = true;
    const quint64 fetch = ++_artworkFetch;

    // Downloading and decoding happen on the worker; only the result comes back.
    QPointer<HLVTagEditorViewController> editor(this);
    QThreadPool::globalInstance()->start([editor, fileData, path, album, fetch]() mutable {
        const HLVArtwork artwork = HLVArtwork::fromEncodedData(HLVImageData::imageDataFromImageAtPath(path));
        const QImage image = artwork.image();
        fileData->completeVirtualTagMap([&](HLVTagMap& map) {
            // The user may have chosen another picture meanwhile.
            if (map.ArtworkPath() != path)
                return false;
            if (image.isNull()) {
                const bool changed = map.ArtworkState() != HLVArtworkStateNone;
                map.setArtworkState(HLVArtworkStateNone);
                return changed;
            }
            // A save embeds the picture from its path either way.
            const bool changed = map.ArtworkState() != HLVArtworkStateChosen
                && map.ArtworkState() != HLVArtworkStateFound;
            map.setArtwork(artwork);
            map.setArtworkState(HLVArtworkStateChosen);
            return changed;
        });
        HLVMainThread::post([editor = std::move(editor), fileData, image, album, fetch] {
            if (editor)
                editor->artworkFetchFinished(fileData, image, album, fetch);
        });
    });
}

void HLVTagEditorViewController::artworkFetchFinished(const std::shared_ptr<HLVFileData>& fileData, const QImage& image,
                                                      const std::optional<QString>& album, quint64 fetch)
{
    // Answers of earlier fetches reach only their file's pending map.
    if (fetch != _artworkFetch)
        return;
    _artworkIsDownloading = false;
    if (fileData == _tagFileData) {
        if (image.isNull()) {
            showArtworkTitle(tr("No Artwork"));
        } else if (fileData->TagMap()->AlbumName() == album) {
            showArtworkImage(image);
            _restoreArtworkButton->setEnabled(true);
        }
    }
    setShowArtworkLoading(false);
}

// --- drops -----------------------------------------------------------------------------------------

QStringList HLVTagEditorViewController::acceptedExtensionTypes()
{
    return {QStringLiteral("jpeg"), QStringLiteral("jpg"), QStringLiteral("png"), QStringLiteral("bmp"),
            QStringLiteral("gif")};
}

QStringList HLVTagEditorViewController::acceptedPBoardTypes()
{
    return {QStringLiteral("image/jpeg"), QStringLiteral("image/png"), QStringLiteral("image/bmp"),
            QStringLiteral("image/gif")};
}

QString HLVTagEditorViewController::droppedImagePath(const QMimeData* data) const
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return QString();
    const QUrl url = data->urls().constFirst();
    if (!url.isLocalFile())
        return QString();
    const QString path = url.toLocalFile();
    return acceptedExtensionTypes().contains(QFileInfo(path).suffix().toLower()) ? path : QString();
}

bool HLVTagEditorViewController::draggingEntered(const QMimeData* data) const
{
    return !filesShown().isEmpty() && !droppedImagePath(data).isEmpty();
}

bool HLVTagEditorViewController::performDragOperation(const QMimeData* data)
{
    if (!draggingEntered(data))
        return false;
    return loadArtworkFromPath(droppedImagePath(data));
}

bool HLVTagEditorViewController::hoverButtonDraggingEntered(HLVHoverButton*, const QMimeData* data)
{
    return draggingEntered(data);
}

bool HLVTagEditorViewController::hoverButtonPerformDragOperation(HLVHoverButton*, const QMimeData* data)
{
    return performDragOperation(data);
}

// --- the clipboard -----------------------------------------------------------------------------------

bool HLVTagEditorViewController::validateMenuItem(const QAction* item) const
{
    // The actions themselves, whatever their (translated) text says.
    if (item && item == _pasteAction) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return !filesShown().isEmpty() && data && data->hasImage();
    }
    if (item && item == _copyAction)
        return !_artworkImage.isNull();
    return false;
}

void HLVTagEditorViewController::copyImage()
{
    if (!_artworkImage.isNull())
        withFullArtwork([](const QImage& image) { QGuiApplication::clipboard()->setImage(image); });
}

bool HLVTagEditorViewController::pasteImage(HLVFailure* failure)
{
    if (filesShown().isEmpty())
        return HLVReportFailure(failure, HLVFailure::Kind::Other, tr("no file is shown"));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QImage image = data && data->hasImage() ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (image.isNull())
        return HLVReportFailure(failure, HLVFailure::Kind::Other, tr("the clipboard holds no picture"));
    if (image.hasAlphaChannel()) {
        // JPEG has no transparency: lay the picture on white rather than black.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        image = flat;
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    const QString path = image.save(&buffer, "JPG", 100) ? HLVArtworkFolder::storePicture(jpeg, QStringLiteral("jpg"))
                                                         : QString();
    if (path.isEmpty())
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, tr("cannot store the pasted picture"));
    return loadArtworkFromPath(path, failure);
}

void HLVTagEditorViewController::showArtworkContextMenu(const QPoint& position)
{
    QMenu menu(this);
    for (QAction* action : {_copyAction, _pasteAction}) {
        action->setEnabled(validateMenuItem(action));
        menu.addAction(action);
    }
    menu.exec(_viewArtworkButton->mapToGlobal(position));
    // The shortcuts check again when used.
    _copyAction->setEnabled(true);
    _pasteAction->setEnabled(true);
}
