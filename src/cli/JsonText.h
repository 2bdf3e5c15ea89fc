#pragma once

#include <QString>
#include <QStringView>

#include <functional>

/// A JSON string is made this many characters at a time: see appendJsonString.
inline constexpr qsizetype kJsonPiece = qsizetype(1) << 16;

/// Appends text as a JSON string: '"', '\' and control characters escaped, and a lone
/// surrogate (a byte of a file name that is not UTF-8) as \uXXXX, so that the line stays
/// valid UTF-8 and the byte can still be told. writeIfLong is called every kJsonPiece
/// characters, so that a long text can be written on the way.
void appendJsonString(QString &out, QStringView text, const std::function<void()> &writeIfLong);
