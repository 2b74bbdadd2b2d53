#include "HLVGlyphIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRegularExpression>
#include <QSet>

namespace {

// Only dark, nearly grey colours: an ink, not a picture.
bool isDarkGrey(const QColor& colour)
{
    return colour.hslSaturation() <= 64 && colour.lightness() < 128;
}

bool isGreyInk(const QString& resource)
{
    if (!resource.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        const QImage image(resource);
        if (image.isNull())
            return false;
        const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < pixels.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < pixels.width(); ++x) {
                if (qAlpha(line[x]) > 0 && !isDarkGrey(QColor(line[x])))
                    return false;
            }
        }
        return true;
    }
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    static const QRegularExpression colour(QStringLiteral("#([0-9a-fA-F]{6})\\b"));
    QSet<QString> colours;
    for (const QRegularExpressionMatch& match : colour.globalMatch(QString::fromUtf8(file.readAll())))
        colours.insert(match.captured(1).toLower());
    return colours.size() == 1 && isDarkGrey(QColor(QLatin1Char('#') + *colours.cbegin()));
}

class TintedGlyphEngine : public QIconEngine
{
public:
    explicit TintedGlyphEngine(const QIcon& glyph) : _glyph(glyph) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const QPalette palette = QGuiApplication::palette();
        if (palette.color(QPalette::Window).lightness() >= 128)
            return _glyph.pixmap(size, mode, state);
        QPixmap tinted = _glyph.pixmap(size, QIcon::Normal, state);
        if (tinted.isNull())
            return tinted;
        QPainter painter(&tinted);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(tinted.rect(), palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                                      QPalette::ButtonText));
        return tinted;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap shown = pixmap(rect.size() * scale, mode, state);
        shown.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, shown);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return _glyph.actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return _glyph.availableSizes(mode, state);
    }
    bool isNull() override { return _glyph.isNull(); }
    QIconEngine* clone() const override { return new TintedGlyphEngine(_glyph); }

private:
    QIcon _glyph;
};

} // namespace

namespace HLVGlyphIcon {

QIcon load(const QString& resource)
{
    QIcon glyph(resource);
    // Only the program's own compiled-in pictures are looked into: no file is
    // read from the disk here, on the main thread.
    if (glyph.isNull() || !resource.startsWith(QStringLiteral(":/")) || !isGreyInk(resource))
        return glyph;
    return QIcon(new TintedGlyphEngine(glyph));
}

} // namespace HLVGlyphIcon
