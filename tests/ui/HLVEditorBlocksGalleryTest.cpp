#include "HLVCustomTagCellView.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

// Pictures of each building block in its main states, written beside the test
// program (build/screenshots/) for a person to look at; they are not compared.
namespace {

class Gallery
{
public:
    Gallery() : _folder(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"))
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

} // namespace

TEST(HLVEditorBlocksGallery, WritesEachBlockInItsMainStates)
{
    Gallery gallery;
    const int width = 560;

    HLVMatchesEditorViewController matches;
    matches.resize(width, matches.sizeHint().height());
    matches.show();
    matches.displayMatchesWithMatchCount(1, 1);
    gallery.shoot(matches, QStringLiteral("matches-single"));
    matches.displayMatchesWithMatchCount(3, 2);
    EXPECT_EQ(matches.matchesTextField()->text(), QStringLiteral("Multiple matches found! Displaying match 2 of 3."));
    gallery.shoot(matches, QStringLiteral("matches-second-of-three"));

    HLVStatusEditorViewController status;
    status.resize(width, status.sizeHint().height());
    status.show();
    gallery.shoot(status, QStringLiteral("status-processing"));
    status.displayStatus(QStringLiteral("Saving"), 8);
    status.setCurrentValue(3);
    EXPECT_EQ(status.statusLabel()->text(), QStringLiteral("Saving 3 of 8."));
    gallery.shoot(status, QStringLiteral("status-saving-3-of-8"));
    status.cancelButtonSelected();
    gallery.shoot(status, QStringLiteral("status-cancelled"));

    HLVTestFiles files;
    HLVExpandingView section(QStringLiteral("Custom Tags"));
    HLVCustomTagEditorViewController editor;
    section.setAnimationDuration(0);
    section.setContentView(&editor);
    editor.setExpandingView(&section);
    editor.setActiveFilePath(files.copyFixture(QStringLiteral("tone.mp3")));
    section.resize(width, 100);
    section.show();
    gallery.shoot(section, QStringLiteral("section-collapsed"));
    section.expand();
    gallery.shoot(section, QStringLiteral("custom-tags-empty"));

    HLVCustomTagValueArray values;
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TIT3"), QStringLiteral("Recorded live in one take")));
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TBPM"), QStringLiteral("120")));
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TIPL"), QStringLiteral("producer")));
    editor.setCustomTagValues(values);
    gallery.shoot(section, QStringLiteral("custom-tags-normal"));
    QLineEdit* tempo = editor.cellAtRow(0)->valueTextField();
    tempo->setFocus();
    QTest::keyClicks(tempo, QStringLiteral("a"));
    gallery.shoot(section, QStringLiteral("custom-tags-invalid-number"));

    editor.addRemoveCustomTagButtonClicked();
    gallery.shoot(section, QStringLiteral("custom-tags-edit-mode"));
    QTest::keyClicks(editor.cellAtRow(3)->identifierTextField(), QStringLiteral("tbpm"));
    gallery.shoot(section, QStringLiteral("custom-tags-duplicate-identifier"));
}
