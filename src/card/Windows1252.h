#pragma once

#include <QByteArrayView>
#include <QString>

/// Decodes bytes as Windows-1252 by a fixed table: every byte gives exactly one
/// character; the five bytes the code page leaves undefined map to the C1 controls
/// of the same value, as Windows itself maps them.
QString decodeWindows1252(QByteArrayView bytes);

/// True for the names under which Windows-1252 is known (cp1252, windows-1252, ...).
bool isWindows1252Name(QByteArrayView charset);
