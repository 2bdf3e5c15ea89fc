#include "card/CardBytes.h"

#include "base/Failure.h"
#include "card/FileExists.h"
#include "card/NativePath.h"
#include "card/Windows1252.h"

#include <QStringDecoder>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large files are read and converted in pieces of this size, so that a read can be
// cancelled between two of them.
constexpr qsizetype kPieceBytes = qsizetype(8) << 20;

// UTF-16 without a mark is recognised in this many first bytes: when at least 40 % of
// the code units have a zero high byte and almost none a zero low byte (card files are
// mostly ASCII property names), or else when they write VCARD as UTF-16.
constexpr qsizetype kSniffBytes = 4096;

CardEncoding sniffUtf16(QByteArrayView raw)
{
    const qsizetype pairs = qMin(raw.size(), kSniffBytes) / 2;
    if (pairs < 2 || !std::memchr(raw.data(), 0, std::size_t(pairs * 2)))
        return CardEncoding::Legacy;
    qsizetype zeroFirst = 0;
    qsizetype zeroSecond = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        zeroFirst += raw[2 * i] == 0;
        zeroSecond += raw[2 * i + 1] == 0;
    }
    if (zeroFirst * 10 >= pairs * 4 && zeroSecond * 10 <= zeroFirst)
        return CardEncoding::Utf16BE;
    if (zeroSecond * 10 >= pairs * 4 && zeroFirst * 10 <= zeroSecond)
        return CardEncoding::Utf16LE;
    // Text that is mostly not Latin (CJK) has few zero bytes; its BEGIN:VCARD and
    // END:VCARD lines still write VCARD as UTF-16 code units, in one byte order.
    const QByteArrayView sample = raw.first(pairs * 2);
    const auto holdsVcard = [&](bool littleEndian) {
        static constexpr char kName[] = "VCARD";
        for (qsizetype at = 0; at + 10 <= sample.size(); at += 2) {
            bool found = true;
            for (int k = 0; k < 5 && found; ++k) {
                const char letter = sample[at + 2 * k + (littleEndian ? 0 : 1)];
                const char zero = sample[at + 2 * k + (littleEndian ? 1 : 0)];
                found = zero == 0 && (letter == kName[k] || letter == char(kName[k] + 32));
            }
            if (found)
                return true;
        }
        return false;
    };
    if (holdsVcard(true))
        return CardEncoding::Utf16LE;
    if (holdsVcard(false))
        return CardEncoding::Utf16BE;
    return CardEncoding::Legacy;
}

/// UTF-16 read in pieces, as UTF-8. Qt's decoder passes on a surrogate pair's first
/// half that ends a piece, and UTF-8 has no form for half a pair: it is held for the
/// next piece.
class Utf16Pieces
{
public:
    explicit Utf16Pieces(bool littleEndian)
        : m_decoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE)
    {}

    QByteArray operator()(QByteArrayView raw)
    {
        QString text = m_decoder(raw);
        if (!m_held.isNull()) {
            text.prepend(m_held);
            m_held = {};
        }
        if (!raw.isEmpty() && !text.isEmpty() && text.back().isHighSurrogate()) {
            m_held = text.back();
            text.chop(1);
        }
        return text.toUtf8();
    }

    /// What is left after the last piece.
    QByteArray finish() { return (*this)(QByteArrayView()); }

private:
    QStringDecoder m_decoder;
    QChar m_held{};
};

bool startsWith(QByteArrayView raw, const char *mark, qsizetype length)
{
    return raw.size() >= length && std::memcmp(raw.data(), mark, std::size_t(length)) == 0;
}

QString reasonText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void failRead(const QString &path, const QString &reason)
{
    throw Failure(path + QStringLiteral(": ") + reason);
}

} // namespace

CardEncoding detectCardEncoding(QByteArrayView raw)
{
    // UTF-32's little-endian mark begins with UTF-16's.
    if (startsWith(raw, "\xFF\xFE\0\0", 4))
        return CardEncoding::Utf32LE;
    if (startsWith(raw, "\0\0\xFE\xFF", 4))
        return CardEncoding::Utf32BE;
    if (startsWith(raw, "\xFF\xFE", 2))
        return CardEncoding::Utf16LE;
    if (startsWith(raw, "\xFE\xFF", 2))
        return CardEncoding::Utf16BE;
    if (startsWith(raw, "\xEF\xBB\xBF", 3))
        return CardEncoding::Utf8Bom;
    return sniffUtf16(raw);
}

CardBytes prepareCardBytes(QByteArray raw, const std::atomic<bool> *cancel)
{
    CardBytes result;
    result.encoding = detectCardEncoding(raw);
    switch (result.encoding) {
    case CardEncoding::Legacy:
        result.bytes = std::move(raw);
        break;
    case CardEncoding::Utf8Bom:
        result.bytes = std::move(raw);
        result.bytes.remove(0, 3);
        result.markBytes = 3;
        break;
    case CardEncoding::Utf16LE:
    case CardEncoding::Utf16BE: {
        const bool le = result.encoding == CardEncoding::Utf16LE;
        const bool marked = startsWith(raw, le ? "\xFF\xFE" : "\xFE\xFF", 2);
        // Piece by piece, so that a large file can be cancelled on the way; the decoder
        // keeps a surrogate pair that a piece's end splits.
        Utf16Pieces decoder(le);
        // An odd last byte does not form a character and is dropped.
        const qsizetype start = marked ? 2 : 0;
        const qsizetype end = start + ((raw.size() - start) & ~qsizetype(1));
        result.markBytes = start;
        result.bytes.reserve(end - start);
        for (qsizetype at = start; at < end; at += kPieceBytes) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            result.bytes.append(
                decoder(QByteArrayView(raw).sliced(at, qMin(kPieceBytes, end - at))));
        }
        result.bytes.append(decoder.finish());
        break;
    }
    case CardEncoding::Utf32LE:
    case CardEncoding::Utf32BE: {
        QStringDecoder decoder(result.encoding == CardEncoding::Utf32LE
                                   ? QStringConverter::Utf32LE
                                   : QStringConverter::Utf32BE);
        // Whole code points only: the bytes after the last multiple of four are dropped.
        constexpr qsizetype kMark = 4;
        const qsizetype end = kMark + ((raw.size() - kMark) & ~qsizetype(3));
        result.markBytes = kMark;
        result.bytes.reserve((end - kMark) / 4);
        for (qsizetype at = kMark; at < end; at += kPieceBytes) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            const QString piece
                = decoder(QByteArrayView(raw).sliced(at, qMin(kPieceBytes, end - at)));
            result.bytes.append(piece.toUtf8());
        }
        break;
    }
    }
    return result;
}

QString decodeWholeText(const QByteArray &raw)
{
    const CardBytes prepared = prepareCardBytes(raw);
    if (prepared.isUnicode() || isValidUtf8(prepared.bytes))
        return QString::fromUtf8(prepared.bytes);
    return decodeWindows1252(prepared.bytes);
}

quint64 cardDigest(QByteArrayView card)
{
    return cardDigest(card.first(qMin(card.size(), kCardDigestBytes)), card.size());
}

quint64 cardDigest(QByteArrayView head, qsizetype length)
{
    const auto digest
        = quint64(qHashBits(head.data(), std::size_t(head.size()), std::size_t(length)));
    return digest == 0 ? 1 : digest;
}

bool isUtf8CompatibleCharset(QByteArrayView name)
{
    const QByteArrayView trimmed = name.trimmed();
    for (const char *known : {"utf-8", "utf8", "us-ascii", "ascii"}) {
        if (trimmed.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

qint64 utf16Length(QByteArrayView utf8)
{
    // One unit a character, two for one of four bytes; continuation bytes add none.
    qint64 units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // ASCII runs eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned min = 0;
        unsigned cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

namespace {

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

namespace {

// O_NONBLOCK keeps a FIFO put in the file's place from blocking the open; the type test
// then refuses it.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

} // namespace

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
        fail(QStringLiteral("File too large (%1 bytes; the limit is 1 GiB)")
                 .arg(qint64(info.st_size)));
    m_size = qint64(info.st_size);
    const std::array<quint64, 5> stamp{quint64(info.st_dev), quint64(info.st_ino),
                                       quint64(info.st_size), quint64(info.st_mtim.tv_sec),
                                       quint64(info.st_mtim.tv_nsec)};
    m_stamp = quint64(qHashBits(stamp.data(), sizeof(stamp), 0));
    if (m_stamp == 0)
        m_stamp = 1;
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

QByteArray CardFile::readAll(const std::atomic<bool> *cancel)
{
    if (m_fd < 0)
        return {};
    // One byte more than the size: a short read then tells the end of the file.
    QByteArray data(qsizetype(m_size) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {};
        if (used == data.size()) {
            if (data.size() > kMaxReadableFileSize)
                failRead(path(), QStringLiteral("File too large (the limit is 1 GiB)"));
            data.resize(data.size() * 2);
        }
        const auto want = std::size_t(qMin(data.size() - used, kPieceBytes));
        const ssize_t got = ::read(m_fd, data.data() + used, want);
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
    data.resize(used);
    return data;
}

void CardFile::failIfMissing() const
{
    if (m_missing)
        failRead(path(), reasonText(m_openError != 0 ? m_openError : ENOENT));
}

CardBytes CardFile::read(const std::atomic<bool> *cancel)
{
    if (m_missing)
        return {};
    QByteArray data = readAll(cancel);
    if (cancel && cancel->load(std::memory_order_relaxed))
        return {};
    if (data.isEmpty())
        return {QByteArray(kEmptyFileText), CardEncoding::Legacy};
    return prepareCardBytes(std::move(data), cancel);
}

CardBytes CardFile::readPrepared(qsizetype begin, qsizetype end, qint64 fileBegin,
                                 const std::atomic<bool> *cancel)
{
    CardBytes result;
    if (m_fd < 0 || begin < 0 || end <= begin)
        return result;
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    // Reads up to size bytes from offset; fewer at the end of the file.
    const auto readAt = [this](char *into, qsizetype size, qint64 offset) {
        qsizetype used = 0;
        while (used < size) {
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
    };
    QByteArray head(qMin<qint64>(m_size, kSniffBytes), Qt::Uninitialized);
    head.truncate(readAt(head.data(), head.size(), 0));
    result.encoding = detectCardEncoding(head);
    if (result.isUtf32()) {
        // Rare: decoded whole, then cut.
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
    const bool le = result.encoding == CardEncoding::Utf16LE;
    result.markBytes = startsWith(head, le ? "\xFF\xFE" : "\xFE\xFF", 2) ? 2 : 0;
    const qint64 last = result.markBytes + ((m_size - result.markBytes) & ~qint64(1));
    const bool placed = fileBegin >= result.markBytes && (fileBegin - result.markBytes) % 2 == 0;
    const qint64 start = placed ? fileBegin : result.markBytes;
    Utf16Pieces decoder(le);
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
    const qint64 piece = placed ? qMin(kPieceBytes, 2 * (end - begin) + 2) : kPieceBytes;
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
