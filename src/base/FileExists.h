#pragma once

class QString;

/// True when the path's last-modified time can be read (a file or a folder);
/// never fails.
bool FileExists(const QString &path) noexcept;
