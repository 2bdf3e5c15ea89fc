#pragma once

#include <QString>

class EventPump;
class FileList;

/// Why a file may not be written at path through QSaveFile, which puts a new file in
/// its place: something other than a regular file stands there (a device, a FIFO, a
/// socket), which it would replace; empty when the path is new, a regular file (links
/// followed), a folder (whose save fails on its own and says so) or cannot be looked at
/// (its write will say why). The text names the path.
QString outputKindProblem(const QString &path);

/// Why path may not be written when inputs are the files read: outputKindProblem's
/// reasons, and the path being one of the inputs (the same device and inode, links
/// followed on both sides). Only a path that exists can be an input, so the inputs are
/// looked at only then, the pump ticked after each. Empty when it may be written.
QString outputTargetProblem(const QString &path, const FileList &inputs,
                            EventPump *pump = nullptr);

/// True when path, links followed, is the file open as descriptor fd.
bool isOpenFile(const QString &path, int fd);
