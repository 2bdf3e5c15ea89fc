#include "gui/PathDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

QString elidedPath(const QFontMetrics &metrics, const QString &path, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString name = path.mid(slash + 1);
    const int nameWidth = metrics.horizontalAdvance(name);
    const QString folder = path.left(slash + 1);
    const int ellipsis = metrics.horizontalAdvance(QChar(0x2026));
    if (slash < 0 || nameWidth + ellipsis > width)
        return metrics.elidedText(path.mid(slash + 1), Qt::ElideMiddle, width);
    return metrics.elidedText(folder, Qt::ElideRight, width - nameWidth) + name;
}

void PathDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyleOptionViewItem shown = option;
    initStyleOption(&shown, index);
    const QWidget *widget = shown.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    // The text's own room, less the margins the style keeps on either side of it.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const int width
        = style->subElementRect(QStyle::SE_ItemViewItemText, &shown, widget).width() - 2 * margin;
    shown.text = elidedPath(shown.fontMetrics, shown.text, width);
    shown.textElideMode = Qt::ElideMiddle;
    style->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
}
