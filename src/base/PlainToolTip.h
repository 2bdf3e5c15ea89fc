#pragma once

#include <QString>

/// The longest text a tooltip shows, in UTF-16 code units; a longer one is cut and
/// ends in "…". About 25 lines of 80 characters, so the tip stays on the screen.
inline constexpr qsizetype kToolTipLimit = 2000;
/// Lines up to this long are never wrapped in a tooltip.
inline constexpr qsizetype kToolTipLineLength = 100;

/// A tooltip that shows text exactly as it stands. Qt lays a tooltip out as HTML
/// whenever it looks like markup, and an <img> in it would read a local file, so the
/// text is escaped inside a paragraph that keeps its blanks and line breaks. Empty
/// for an empty text, which shows no tooltip.
QString plainToolTip(const QString &text);
