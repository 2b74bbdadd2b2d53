#pragma once

#include "HLVFileData.h"

#include <QStyledItemDelegate>
#include <memory>

// Draws one row of the file list: the file icon (red while the file has unsaved
// changes), the name (greyed with " [Read-Only]" for a file that cannot be
// written), and at the right either the number of candidate tag sets or a cross
// for a read-only file or a failed identification, whose tool tip says why.
class HLVFileViewTableCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // What a row shows for a record; the painting follows it exactly.
    struct Content
    {
        QString label;
        bool greyed = false;
        bool isModified = false;
        QString imageName;    // "Cross" or empty
        qsizetype tagSetCount = 0; // shown when above 0 and no image
        QString imageToolTip; // why the cross is shown
    };

    explicit HLVFileViewTableCell(QObject* parent = nullptr);

    static Content setCellContentForFileData(const std::shared_ptr<HLVFileData>& fileData);
    // The normal row text colour, the highlighted one and the read-only grey.
    static QColor textColor(const QPalette& palette, bool highlighted, bool greyed);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    static constexpr int RowHeight = 26;

private:
    static QRect iconRect(const QRect& row);
    static QRect trailingRect(const QRect& row, const QString& countText);
};
