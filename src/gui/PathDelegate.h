#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

/// A path cut to a width the way a path is read: its folder shortened from the right,
/// so that the file name stays whole; only a file name too wide on its own loses its
/// middle.
QString elidedPath(const QFontMetrics &metrics, const QString &path, int width);

/// Shows the paths of a list or table column with elidedPath, so that rows of one
/// folder still tell their files apart.
class PathDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
