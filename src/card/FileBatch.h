#pragma once

#include <QByteArray>

#include <memory>
#include <span>

/// Reads small files of one folder many at a time through the kernel's submission ring
/// (io_uring): a batch costs a system call where reading file by file costs four a file
/// (status, open, read, close), which is most of the time a search of small files in
/// memory takes.
///
/// A file is given only when it was read whole and as its status found it: a regular
/// file of at most kMaxFileBytes bytes. Any other (missing, a folder, a FIFO, larger,
/// changed while read, a failure) is left to be read one by one, which tells why.
class FileBatchReader final
{
public:
    static constexpr int kMaxFiles = 16;
    static constexpr qsizetype kMaxFileBytes = 64 * 1024 - 1;

    struct File
    {
        const char *name = nullptr; // in the folder; held until read returns
        bool read = false;
        QByteArray bytes;
        quint64 stamp = 0; // as CardFile::stamp
    };

    FileBatchReader();
    ~FileBatchReader();
    FileBatchReader(const FileBatchReader &) = delete;
    FileBatchReader &operator=(const FileBatchReader &) = delete;

    /// False where the system offers no ring (an old kernel, a sandbox that forbids it)
    /// or it failed: files are then read one by one. The ring is made at the first batch
    /// with a file to read, so that a search that never reads one through it costs
    /// nothing for it.
    bool usable() const { return !m_failed; }
    /// Reads at most kMaxFiles files named in the folder open as folder. True when the
    /// kernel had to wait for the disk: a batch waits for its slowest file, where threads
    /// reading one by one keep more reads under way.
    bool read(int folder, std::span<File> files);

private:
    struct Ring;
    bool makeRing();

    std::unique_ptr<Ring> m_ring;
    bool m_failed = false;
};
