#include "HLVArtworkWindowController.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

HLVArtworkWindowController::HLVArtworkWindowController(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("artworkWindow"));
    setWindowTitle(tr("Artwork"));
    _imageView = new QLabel(this);
    _imageView->setObjectName(QStringLiteral("imageView"));
    _imageView->setAlignment(Qt::AlignCenter);
    _imageView->setMinimumSize(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_imageView);
}

void HLVArtworkWindowController::showWindowWithArtwork(const QImage& artwork)
{
    _artwork = artwork;
    if (artwork.isNull()) {
        _imageView->clear();
        return;
    }
    const QSize size(std::min(artwork.width(), maximumSide), std::min(artwork.height(), maximumSide));
    show();
    setGeometry(QRect(geometry().topLeft(), size));
    QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (shownOn) {
        QRect frame = geometry();
        frame.moveCenter(shownOn->availableGeometry().center());
        setGeometry(frame);
    }
    showScaledArtwork();
    raise();
    activateWindow();
}

void HLVArtworkWindowController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    showScaledArtwork();
}

void HLVArtworkWindowController::showScaledArtwork()
{
    if (_artwork.isNull())
        return;
    const QSize room = _imageView->size().isEmpty() ? size() : _imageView->size();
    const QImage scaled = _artwork.size().boundedTo(room) == _artwork.size()
        ? _artwork
        : _artwork.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    _imageView->setPixmap(QPixmap::fromImage(scaled));
}
