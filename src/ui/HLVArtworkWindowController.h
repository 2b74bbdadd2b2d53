#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// A window that shows a cover larger: as large as the picture, at most
// 500 × 500, centred on the screen. The picture keeps its proportions inside.
class HLVArtworkWindowController : public QWidget
{
    Q_OBJECT
public:
    static constexpr int maximumSide = 500;

    explicit HLVArtworkWindowController(QWidget* parent = nullptr);

    // A null image only clears the window (it is not shown).
    void showWindowWithArtwork(const QImage& artwork);
    const QImage& artwork() const { return _artwork; }
    QLabel* imageView() const { return _imageView; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showScaledArtwork();

    QLabel* _imageView;
    QImage _artwork;
};
