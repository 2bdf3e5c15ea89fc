#pragma once

#include <QString>
#include <QStringList>

/// All lines of a plain text file, without their line ends (CR LF, LF or a lone CR).
/// An empty file gives one empty line. Does not test for existence; throws Failure
/// when the file cannot be read.
QStringList ReadFileLines(const QString &path);
