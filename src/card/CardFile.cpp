#include "card/CardFile.h"

#include "base/Failure.h"
#include "base/FileExists.h"
#include "base/NativePath.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

QString reasonText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void failRead(const QString &path, const QString &reason)
{
    throw Failure(path + QStringLiteral(": ") + reason);
}

// O_NONBLOCK keeps a FIFO put in the file's place from blocking the open; the type test
// then refuses it.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// A 0-byte file reads as this text, which holds no colon, so it yields an empty record.
constexpr char kEmptyFileText[] = "empty file";

/// The path as the system takes it. An ASCII path is copied into buffer, saving an
/// allocation and a conversion per file; any other goes through encodeFileName.
const char *nativePath(QStringView path, std::array<char, 1024> &buffer, QByteArray &encoded)
{
    if (path.size() < qsizetype(buffer.size())) {
        const char16_t *chars = reinterpret_cast<const char16_t *>(path.constData());
        qsizetype i = 0;
        for (; i < path.size() && chars[i] < 0x80 && chars[i] != 0; ++i)
            buffer[std::size_t(i)] = char(chars[i]);
        if (i == path.size()) {
            buffer[std::size_t(i)] = '\0';
            return buffer.data();
        }
    }
    encoded = encodeFileName(path);
    return encoded.constData();
}

} // namespace

FolderHandle::~FolderHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FolderHandle::handleFor(QStringView folder)
{
    if (m_fd >= 0 && folder == m_folder)
        return m_fd;
    if (m_fd >= 0)
        ::close(m_fd);
    m_folder = folder.toString();
    std::array<char, 1024> buffer;
    QByteArray encoded;
    m_fd = ::open(nativePath(folder, buffer, encoded), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return m_fd;
}

CardFile::CardFile(const QString &path, FolderHandle *folders) : m_file{path}
{
    openPath(folders);
}

CardFile::CardFile(const FileRef &file, FolderHandle &folders) : m_file(file)
{
    if (!file.folder) {
        openPath(&folders);
        return;
    }
    const int folder = folders.handleFor(file.folder->folder);
    if (folder >= 0)
        m_fd = ::openat(folder, file.folder->name(file.index), kOpenFlags);
    else
        m_fd = ::open(encodeFileName(path()).constData(), kOpenFlags);
    checkOpened(errno);
}

void CardFile::openPath(FolderHandle *folders)
{
    const QString &path = m_file.path;
    if (path.isEmpty()) {
        m_missing = true;
        return;
    }
    std::array<char, 1024> buffer;
    QByteArray encoded;
    const qsizetype slash = path.lastIndexOf(u'/');
    const int folder = folders && slash >= 0 && slash + 1 < path.size()
        ? folders->handleFor(QStringView(path).first(slash + 1))
        : -1;
    if (folder >= 0)
        m_fd = ::openat(folder, nativePath(QStringView(path).sliced(slash + 1), buffer, encoded),
                        kOpenFlags);
    else
        m_fd = ::open(nativePath(path, buffer, encoded), kOpenFlags);
    checkOpened(errno);
}

void CardFile::checkOpened(int error)
{
    if (m_fd < 0) {
        if (!FileExists(path())) {
            m_missing = true;
            m_openError = error;
            return;
        }
        failRead(path(), reasonText(error));
    }
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0)
        fail(reasonText(errno));
    if (S_ISDIR(info.st_mode))
        fail(reasonText(EISDIR));
    if (!S_ISREG(info.st_mode))
        fail(QStringLiteral("Not a regular file"));
    if (info.st_size > kMaxReadableFileSize)
        fail(QStringLiteral("File too large (%1 bytes; the limit is 1 TiB)")
                 .arg(qint64(info.st_size)));
    m_size = qint64(info.st_size);
    m_stamp = fileStamp(info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
                        info.st_mtim.tv_nsec);
}

quint64 fileStamp(quint64 device, quint64 inode, quint64 size, quint64 seconds,
                  quint64 nanoseconds)
{
    const std::array<quint64, 5> stamp{device, inode, size, seconds, nanoseconds};
    const auto hash = quint64(qHashBits(stamp.data(), sizeof(stamp), 0));
    return hash != 0 ? hash : 1;
}

CardFile::~CardFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CardFile::fail(const QString &reason)
{
    ::close(m_fd);
    m_fd = -1;
    failRead(path(), reason);
}

void adviseHugePages(char *data, qsizetype bytes)
{
    constexpr quintptr kHuge = quintptr(2) << 20;
    if (bytes < qsizetype(4 * kHuge))
        return;
    const auto at = reinterpret_cast<quintptr>(data);
    const quintptr begin = (at + kHuge - 1) & ~(kHuge - 1);
    const quintptr end = (at + quintptr(bytes)) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

QByteArray CardFile::readAll(const std::atomic<bool> *cancel)
{
    if (m_fd < 0)
        return {};
    if (m_size > kMaxHeldFileBytes)
        failRead(path(), QStringLiteral("File too large to be read whole (%1 bytes; the limit "
                                        "is 1 GiB)")
                             .arg(m_size));
    // One byte more than the size: a short read then tells the end of the file.
    QByteArray data(qsizetype(m_size) + 1, Qt::Uninitialized);
    adviseHugePages(data.data(), data.size());
    qsizetype used = 0;
    // The first read asks for bytes in memory only: whether it had to wait tells the
    // search whether reading ahead pays.
    bool first = true;
    m_waited = false;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {};
        if (used == data.size()) {
            if (data.size() > kMaxHeldFileBytes)
                failRead(path(),
                         QStringLiteral("File too large to be read whole (the limit is 1 GiB)"));
            data.resize(data.size() * 2);
        }
        const auto want = std::size_t(qMin(data.size() - used, kCardPieceBytes));
        ssize_t got = 0;
        if (first) {
            first = false;
            iovec piece{data.data() + used, want};
            got = ::preadv2(m_fd, &piece, 1, -1, RWF_NOWAIT);
            if (got < 0 && errno != EINTR) {
                // Not in memory, or a file system that cannot tell: read it waiting,
                // where a real failure shows.
                m_waited = true;
                continue;
            }
        } else {
            got = ::read(m_fd, data.data() + used, want);
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failRead(path(), reasonText(errno));
        }
        if (got == 0)
            break;
        used += got;
        if (used < data.size() && used >= qsizetype(m_size))
            break;
    }
    m_changed = used != qsizetype(m_size);
    data.resize(used);
    return data;
}

void CardFile::failIfMissing() const
{
    if (m_missing)
        failRead(path(), reasonText(m_openError != 0 ? m_openError : ENOENT));
}

CardBytes CardFile::read(const std::atomic<bool> *cancel, FileDigest *sha256)
{
    if (m_missing)
        return {};
    return cardFileBytes(readAll(cancel), cancel, sha256);
}

CardBytes cardFileBytes(QByteArray data, const std::atomic<bool> *cancel, FileDigest *sha256)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        return {};
    if (sha256)
        *sha256 = FileDigest::of(data);
    if (data.isEmpty())
        return {QByteArray(kEmptyFileText), CardEncoding::Legacy};
    return prepareCardBytes(std::move(data), cancel);
}

qsizetype CardFile::readAt(char *into, qsizetype size, qint64 offset) const
{
    qsizetype used = 0;
    while (m_fd >= 0 && used < size) {
        const ssize_t got
            = ::pread(m_fd, into + used, std::size_t(size - used), off_t(offset + used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failRead(path(), reasonText(errno));
        if (got == 0)
            break;
        used += got;
    }
    return used;
}

void CardFile::failWith(const QString &reason) const
{
    failRead(path(), reason);
}

CardBytes CardFile::readPrepared(qsizetype begin, qsizetype end, qint64 fileBegin,
                                 const std::atomic<bool> *cancel)
{
    CardBytes result;
    if (m_fd < 0 || begin < 0 || end <= begin)
        return result;
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    QByteArray head(qMin<qint64>(m_size, kEncodingSniffBytes), Qt::Uninitialized);
    head.truncate(readAt(head.data(), head.size(), 0));
    result.encoding = detectCardEncoding(head);
    if (result.isUtf32()) {
        // Rare: decoded whole, then cut.
        if (m_size > kMaxHeldFileBytes)
            failRead(path(), QStringLiteral("UTF-32 file too large to be read whole (the limit "
                                            "is 1 GiB)"));
        QByteArray raw(qsizetype(m_size), Qt::Uninitialized);
        raw.truncate(readAt(raw.data(), raw.size(), 0));
        CardBytes whole = prepareCardBytes(std::move(raw), cancel);
        if (cancelled())
            return {};
        result.markBytes = whole.markBytes;
        if (begin < whole.bytes.size())
            result.bytes = whole.bytes.sliced(begin, qMin(end, whole.bytes.size()) - begin);
        return result;
    }
    if (result.encoding == CardEncoding::Legacy || result.encoding == CardEncoding::Utf8Bom) {
        result.markBytes = result.encoding == CardEncoding::Utf8Bom ? 3 : 0;
        const qsizetype size
            = qsizetype(qMin<qint64>(end - begin, m_size - result.markBytes - begin));
        if (size <= 0)
            return result;
        result.bytes.resize(size);
        result.bytes.truncate(readAt(result.bytes.data(), size, begin + result.markBytes));
        return result;
    }
    // UTF-16: decoded piece by piece as read() does, keeping only the bytes asked for,
    // from where the search found them when it tells.
    result.markBytes = cardMarkBytes(head, result.encoding);
    const qint64 last = result.markBytes + ((m_size - result.markBytes) & ~qint64(1));
    const bool placed = fileBegin >= result.markBytes && (fileBegin - result.markBytes) % 2 == 0;
    const qint64 start = placed ? fileBegin : result.markBytes;
    Utf16Pieces decoder(result.encoding == CardEncoding::Utf16LE);
    QByteArray raw;
    qsizetype at = placed ? begin : 0; // the prepared bytes decoded so far
    const auto keep = [&](const QByteArray &utf8) {
        const qsizetype from = qMax(begin, at);
        const qsizetype to = qMin(end, at + utf8.size());
        if (from < to)
            result.bytes.append(QByteArrayView(utf8).sliced(from - at, to - from));
        at += utf8.size();
    };
    // From the card's place, its bytes take at most two bytes of the file each.
    const qint64 piece = placed ? qMin(kCardPieceBytes, 2 * (end - begin) + 2) : kCardPieceBytes;
    for (qint64 offset = start; offset < last && at < end; offset += piece) {
        if (cancelled())
            return {};
        raw.resize(qsizetype(qMin(piece, last - offset)));
        raw.truncate(readAt(raw.data(), raw.size(), offset));
        keep(decoder(raw));
        if (raw.size() < qMin(piece, last - offset))
            break;
    }
    if (at < end)
        keep(decoder.finish());
    return result;
}

ReadFacts::NotRead notReadReason(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(encodeFileName(path).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadFacts::NotRead::Missing
                                                   : ReadFacts::NotRead::Unreadable;
    if (S_ISDIR(info.st_mode))
        return ReadFacts::NotRead::Folder;
    if (S_ISREG(info.st_mode) && info.st_size > kMaxReadableFileSize)
        return ReadFacts::NotRead::TooLarge;
    return ReadFacts::NotRead::Unreadable;
}

QByteArray readWholeFile(const QString &path)
{
    CardFile file(path);
    if (file.isMissing())
        failRead(path, reasonText(file.openError()));
    return file.readAll();
}

CardBytes readCardFile(const QString &path)
{
    return CardFile(path).read();
}
