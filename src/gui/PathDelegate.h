#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

/// A path cut to a width the way a path is read: its folder shortened from the right,
/// so that the file name stays whole; a file name too wide on its own is cut at its
/// right, as the table's other columns are, after "…/" that tells it has a folder.
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
