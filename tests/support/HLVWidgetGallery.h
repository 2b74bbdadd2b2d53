#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

// Pictures of widgets, written beside the test program (build/screenshots/)
// for a person to look at; they are not compared. Window tests only (it needs
// QtWidgets, which the rest of the test support does not link).
class HLVWidgetGallery
{
public:
    HLVWidgetGallery() : _folder(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"))
    {
        QDir().mkpath(_folder);
    }

    void shoot(QWidget& widget, const QString& name)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
        const QImage image = widget.grab().toImage();
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        // A picture of one flat colour would mean nothing was drawn.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; y += 2) {
            for (int x = 0; x < image.width() && !drawn; x += 2)
                drawn = image.pixel(x, y) != image.pixel(0, 0);
        }
        EXPECT_TRUE(drawn) << name.toStdString();
        const QString path = _folder + QLatin1Char('/') + name + QStringLiteral(".png");
        EXPECT_TRUE(image.save(path)) << path.toStdString();
    }

private:
    QString _folder;
};
