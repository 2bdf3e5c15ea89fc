#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QUrl;

// File names are bytes; ours are strings. Valid UTF-8 decodes as usual, and each byte of
// a sequence that is not UTF-8 becomes one lone surrogate U+DC80 to U+DCFF, which
// encoding turns back into that byte: encodeFileName(decodeFileName(name)) == name for
// every name, so a path read from the system names the same file when it goes back.

/// The text of a file name or path as the system gives it.
QString decodeFileName(QByteArrayView bytes);

/// The bytes of a path for the system. A text holding U+0000 names no file and gives an
/// empty array, which every system call refuses; a lone surrogate that no decoding made
/// becomes U+FFFD.
QByteArray encodeFileName(QStringView path);

/// True when a name holds bytes that are not UTF-8: a program handed it as text (an
/// argument, a message) would get another name.
bool hasUndecodableBytes(QStringView name);

/// A name to show: each byte that is not UTF-8 is written as "\xHH".
QString displayFileName(QStringView name);

/// The local path of a file: address, its bytes taken from the percent-encoding (which
/// holds names that are not UTF-8); empty when the address is not a local file.
QString localFilePath(const QUrl &url);

/// The file: address of a path, every byte of a name kept.
QUrl fileUrl(const QString &path);
