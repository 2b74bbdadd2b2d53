#include "HLVFileViewTableCell.h"
#include "HLVFileListModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr int Margin = 6;
constexpr int IconSize = 16;

std::shared_ptr<HLVFileData> recordFor(const QModelIndex& index)
{
    return index.data(HLVFileListModel::RecordRole).value<std::shared_ptr<HLVFileData>>();
}

const QIcon& namedIcon(const QString& name)
{
    static QHash<QString, QIcon> icons;
    auto found = icons.find(name);
    if (found == icons.end())
        found = icons.insert(name, QIcon(QStringLiteral(":/images/%1.png").arg(name)));
    return *found;
}

QString countText(const HLVFileViewTableCell::Content& content)
{
    return content.imageName.isEmpty() && content.tagSetCount > 0 ? QString::number(content.tagSetCount) : QString();
}

} // namespace

HLVFileViewTableCell::HLVFileViewTableCell(QObject* parent) : QStyledItemDelegate(parent) {}

HLVFileViewTableCell::Content HLVFileViewTableCell::setCellContentForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    Content content;
    if (!fileData)
        return content;
    const auto failure = fileData->LastFailure();
    if (fileData->IsReadOnly()) {
        content.label = tr("%1 [Read-Only]").arg(fileData->FileName());
        content.greyed = true;
        content.imageName = QStringLiteral("Cross");
        content.imageToolTip = failure ? failure->message : tr("the file is read-only");
        return content;
    }
    content.label = fileData->FileName().isEmpty() ? tr("Unknown") : fileData->FileName();
    content.isModified = fileData->IsModified();
    content.tagSetCount = fileData->releaseCount();
    if (fileData->IdentificationState() == HLVIdentificationFailed) {
        content.imageName = QStringLiteral("Cross");
        content.imageToolTip = failure ? failure->message : tr("the file could not be identified");
    }
    return content;
}

QColor HLVFileViewTableCell::textColor(const QPalette& palette, bool highlighted, bool greyed)
{
    // The theme's own colours, so dark and high-contrast themes stay legible.
    if (highlighted)
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    if (greyed)
        return palette.color(QPalette::Disabled, QPalette::Text);
    return palette.color(QPalette::Text);
}

QRect HLVFileViewTableCell::iconRect(const QRect& row)
{
    return QRect(row.left() + Margin, row.center().y() - IconSize / 2 + 1, IconSize, IconSize);
}

QRect HLVFileViewTableCell::trailingRect(const QRect& row, const QString& count)
{
    // The count sits in a badge as wide as its digits; the cross in an icon square.
    const int width = count.isEmpty() ? IconSize : std::max(IconSize + 4, QFontMetrics(QApplication::font()).horizontalAdvance(count) + 10);
    return QRect(row.right() - Margin - width + 1, row.center().y() - IconSize / 2 + 1, width, IconSize);
}

void HLVFileViewTableCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool highlighted = opt.state & QStyle::State_Selected;
    const Content content = setCellContentForFileData(recordFor(index));

    painter->save();
    if (highlighted)
        painter->fillRect(opt.rect, opt.palette.color(QPalette::Active, QPalette::Highlight));
    else if (opt.features & QStyleOptionViewItem::Alternate)
        painter->fillRect(opt.rect, opt.palette.color(QPalette::AlternateBase));

    namedIcon(content.isModified ? QStringLiteral("FileIconRed") : QStringLiteral("FileIcon"))
        .paint(painter, iconRect(opt.rect));

    const QString count = countText(content);
    const bool trailing = !content.imageName.isEmpty() || !count.isEmpty();
    const QRect trail = trailingRect(opt.rect, count);
    if (!content.imageName.isEmpty()) {
        namedIcon(content.imageName).paint(painter, trail);
    } else if (!count.isEmpty()) {
        painter->setRenderHint(QPainter::Antialiasing);
        QPainterPath badge;
        badge.addRoundedRect(trail, IconSize / 2.0, IconSize / 2.0);
        painter->fillPath(badge, highlighted ? QColor(255, 255, 255, 70) : QColor(0x8a, 0x8a, 0x8a));
        QFont small = opt.font;
        small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
        small.setBold(true);
        painter->setFont(small);
        painter->setPen(Qt::white);
        painter->drawText(trail, Qt::AlignCenter, count);
    }

    const int textLeft = iconRect(opt.rect).right() + Margin;
    const int textRight = trailing ? trail.left() - Margin : opt.rect.right() - Margin;
    const QRect textRect(textLeft, opt.rect.top(), std::max(0, textRight - textLeft), opt.rect.height());
    painter->setFont(opt.font);
    painter->setPen(textColor(opt.palette, highlighted, content.greyed));
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                      opt.fontMetrics.elidedText(content.label, Qt::ElideMiddle, textRect.width()));
    painter->restore();
}

QSize HLVFileViewTableCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(option.rect.width() > 0 ? option.rect.width() : 200, RowHeight);
}

bool HLVFileViewTableCell::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                     const QModelIndex& index)
{
    if (!event || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto record = recordFor(index);
    const Content content = setCellContentForFileData(record);
    if (!content.imageName.isEmpty() && trailingRect(option.rect, QString()).adjusted(-2, -4, 2, 4).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), content.imageToolTip, view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
