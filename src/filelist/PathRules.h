#pragma once

#include <QString>

/// Turns each pair of separators into one, in a single left-to-right pass (three
/// in a row become two). A path that begins with a backslash is a network path: it
/// gets exactly two backslashes in front of the rest.
QString NormalizePath(const QString &path);

/// The part of a path after its last separator; the whole path when it has none.
QString GetFileNameFromPath(const QString &path);

/// The native separator, "/" here.
inline constexpr QChar kSeparator = u'/';
