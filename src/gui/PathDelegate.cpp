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
    if (slash < 0)
        return metrics.elidedText(name, Qt::ElideRight, width);
    // A folder is always told, by "…/" at the least.
    const QString someFolder = QString(QChar(0x2026)) + u'/';
    const int nameRoom = width - metrics.horizontalAdvance(someFolder);
    if (metrics.horizontalAdvance(name) > nameRoom)
        return someFolder + metrics.elidedText(name, Qt::ElideRight, nameRoom);
    const QString folder = metrics.elidedText(path.left(slash), Qt::ElideRight,
                                              width - metrics.horizontalAdvance(name)
                                                  - metrics.horizontalAdvance(u'/'));
    return (folder.isEmpty() ? someFolder : folder + u'/') + name;
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
    shown.textElideMode = Qt::ElideRight;
    style->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
}
