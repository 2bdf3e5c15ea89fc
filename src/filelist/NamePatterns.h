#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <string>
#include <string_view>

/// True when a name holds a control character (below U+0020, U+007F to U+009F)
/// or a "?". Bytes that are not UTF-8 (kept by decodeFileName) are supported.
bool HasUnsupportedChars(const QString &name);

/// The temporary-file rule of folder adds: names that begin with "~" are skipped.
bool isTemporaryFileName(const QString &name);

// Windows file-name patterns: "*" any run of characters, "?" one character, letter
// case ignored, and "*.*" every name, with or without a point.
namespace folderwalk {

/// Keeps the names that match a pattern.
void keepMatching(QStringList &names, const QString &pattern);

/// The ending a pattern of "*" and plain ASCII text asks for, its letters folded to
/// small ones, so that names can be matched as bytes; false for any other pattern.
bool asciiEnding(const QString &pattern, std::string &ending);

/// True when a name ends with an ending from asciiEnding, ASCII letter case ignored.
inline bool endsWithAscii(std::string_view name, std::string_view ending)
{
    if (name.size() < ending.size())
        return false;
    const std::string_view last = name.substr(name.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        const char c = last[i];
        if ((c >= 'A' && c <= 'Z' ? char(c + 32) : c) != ending[i])
            return false;
    }
    return true;
}

} // namespace folderwalk
