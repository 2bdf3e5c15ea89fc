#include "card/CardBlocks.h"

#include "card/CardFile.h"
#include "card/CardSkipping.h"
#include "card/LogicalLines.h"
#include "card/Utf8Text.h"

#include <QStringDecoder>

namespace {

// A block's room is kept for the next block, so that a large file costs the fresh memory
// (a fault and a page cleared for every page, more than the search of its text) of one
// block. A small block is also still in the processor's cache when the file test and the
// parse pass over it after the read.
constexpr qsizetype kDefaultBlockBytes = qsizetype(4) << 20;
// Files up to this size may be read whole, which stays well within the memory promised.
constexpr qsizetype kDefaultWholeFileBytes = qsizetype(128) << 20;
std::atomic<qsizetype> blockBytesSet{0};
std::atomic<qsizetype> wholeFileBytesSet{0};

} // namespace

qsizetype cardBlockBytes()
{
    const qsizetype set = blockBytesSet.load(std::memory_order_relaxed);
    return set > 0 ? set : kDefaultBlockBytes;
}

qsizetype cardWholeFileBytes()
{
    const qsizetype whole = wholeFileBytesSet.load(std::memory_order_relaxed);
    const qsizetype set = blockBytesSet.load(std::memory_order_relaxed);
    return whole > 0 ? whole : set > 0 ? set : kDefaultWholeFileBytes;
}

void setCardBlockBytes(qsizetype bytes, qsizetype wholeFileBytes)
{
    blockBytesSet.store(qMax<qsizetype>(bytes, 0), std::memory_order_relaxed);
    wholeFileBytesSet.store(qMax<qsizetype>(wholeFileBytes, 0), std::memory_order_relaxed);
}

CardBlockReader::CardBlockReader(const CardFile &file, qsizetype blockBytes,
                                 const std::atomic<bool> *cancel, FileDigest *sha256)
    : m_file(file), m_blockBytes(qMax<qsizetype>(blockBytes, 64)), m_cancel(cancel),
      m_sha256(sha256), m_target(m_blockBytes)
{
    if (sha256) {
        *sha256 = {};
        m_digest = std::make_unique<FileDigester>();
    }
}

CardBlockReader::~CardBlockReader() = default;

bool CardBlockReader::cancelled() const
{
    return m_cancel && m_cancel->load(std::memory_order_relaxed);
}

void CardBlockReader::readPiece()
{
    // Text that needs no conversion is read straight into the pending bytes, up to the
    // block's size. So is the first piece, which tells the encoding: fresh memory costs a
    // fault for every page, and it is copied aside only when it must be converted.
    const bool converts = m_utf16 || m_utf32;
    const qsizetype want = !m_started
        ? qMax(qMin(m_blockBytes, kCardPieceBytes), kEncodingSniffBytes)
        : !converts ? qBound(qsizetype(1), m_target - m_pending.size(), kCardPieceBytes)
                    : qMin(m_blockBytes, kCardPieceBytes);
    QByteArray &into = converts ? m_raw : m_pending;
    const qsizetype held = into.size();
    into.resize(held + want);
    const qsizetype got = m_file.readAt(into.data() + held, want, m_rawAt);
    into.truncate(held + got);
    m_rawAt += got;
    if (m_rawAt > kMaxReadableFileSize)
        m_file.failWith(QStringLiteral("File too large (the limit is 1 TiB)"));
    if (m_digest)
        m_digest->add(QByteArrayView(into.constData() + held, got));
    if (!m_started) {
        m_started = true;
        const QByteArrayView head(m_pending);
        m_encoding = detectCardEncoding(head);
        m_mark = qMin(cardMarkBytes(head, m_encoding), head.size());
        m_fileAt = m_mark;
        if (m_encoding == CardEncoding::Utf16LE || m_encoding == CardEncoding::Utf16BE)
            m_utf16.emplace(m_encoding == CardEncoding::Utf16LE);
        else if (m_encoding == CardEncoding::Utf32LE || m_encoding == CardEncoding::Utf32BE)
            m_utf32 = std::make_unique<QStringDecoder>(m_encoding == CardEncoding::Utf32LE
                                                           ? QStringConverter::Utf32LE
                                                           : QStringConverter::Utf32BE);
        if (m_utf16 || m_utf32) {
            m_raw = m_pending.sliced(m_mark);
            m_pending.truncate(0);
        } else {
            m_pending.remove(0, m_mark);
        }
    }
    if (got == 0) {
        m_eof = true;
        // An odd last byte of UTF-16, or the bytes after UTF-32's last multiple of four,
        // form no character and are dropped.
        if (m_utf16)
            m_pending.append(m_utf16->finish());
        if (m_digest) {
            *m_sha256 = m_digest->finish();
            m_digest.reset();
        }
        return;
    }
    if (m_utf16 || m_utf32)
        append(m_raw);
}

void CardBlockReader::append(QByteArrayView raw)
{
    // The bytes of a code unit that the piece split wait for the next piece.
    if (m_utf16) {
        const qsizetype whole = raw.size() & ~qsizetype(1);
        m_pending.append((*m_utf16)(raw.first(whole)));
        m_raw = raw.sliced(whole).toByteArray();
    } else {
        const qsizetype whole = raw.size() & ~qsizetype(3);
        m_pending.append(QString(m_utf32->decode(raw.first(whole))).toUtf8());
        m_raw = raw.sliced(whole).toByteArray();
    }
}

qsizetype CardBlockReader::lastCut() const
{
    // The last END line that stands on its own, past m_minCut, whose line end more bytes
    // cannot change: a byte follows it, and a CR that ends it is not one of a run of CRs
    // that a LF may yet end. Looked for in the last bytes first, then in more of them.
    const QByteArrayView data(m_pending);
    const qsizetype n = data.size();
    const auto settled = [&](qsizetype end) {
        return end > m_minCut && end < n && (data[end - 1] == '\n' || data[end] != '\r');
    };
    for (qsizetype window = qMin(n, qsizetype(64) << 10);; window = qMin(n, window * 8)) {
        const qsizetype from = qMax(m_minCut, n - window);
        qsizetype best = -1;
        for (qsizetype at = from;;) {
            const qsizetype hit = cardreader::endLineSearch().indexIn(data.sliced(at));
            if (hit < 0)
                break;
            const qsizetype end = cardreader::plainEndLineEnd(data, at + hit);
            if (end > 0 && settled(end))
                best = end;
            at += hit + 1;
        }
        if (best > 0 || from <= m_minCut)
            return best;
    }
}

bool CardBlockReader::next(CardBlock &block)
{
    // The block before is let go before the next is read: two are never held at once.
    // Its room holds the next when nothing else holds it: fresh memory costs a fault
    // and a page cleared for every page, more than the search of a block of text.
    QByteArray spare = std::move(block.text.bytes);
    block.text.bytes = QByteArray();
    if (m_done)
        return false;
    if (spare.isDetached() && spare.capacity() >= m_pending.size()) {
        spare.truncate(0);
        spare.append(m_pending);
        m_pending = std::move(spare);
    }
    spare = QByteArray();
    qsizetype cut = -1;
    for (;;) {
        // Room for the block and what a read may add past it: text read as it stands is
        // read up to the block's size, converted text a piece at a time. The file's last
        // block, given again, needs none: nothing more is read.
        const char *const held = m_pending.constData();
        const bool converted = !m_started || m_utf16 || m_utf32;
        if (!m_eof)
            m_pending.reserve(
                qMin<qint64>(m_target, kMaxHeldFileBytes)
                + (converted ? qMax(qMin(m_blockBytes, kCardPieceBytes), kEncodingSniffBytes)
                             : kEncodingSniffBytes));
        if (m_pending.constData() != held)
            adviseHugePages(m_pending.data(), m_pending.capacity());
        while (!m_eof && m_pending.size() < m_target) {
            if (cancelled())
                return false;
            readPiece();
        }
        cut = m_eof ? m_pending.size() : lastCut();
        if (cut > 0 || m_eof)
            break;
        if (m_pending.size() >= kMaxHeldFileBytes)
            break;
        if (m_stopGrowing) {
            m_wouldGrow = true;
            return false;
        }
        m_target = qMin<qint64>(qMax(m_target, m_pending.size()) * 2, kMaxHeldFileBytes);
    }
    if (cancelled())
        return false;
    if (cut < 0 || cut > kMaxHeldFileBytes) {
        m_tooLarge = true;
        m_file.failWith(QStringLiteral("Card too large: over 1 GiB without an END:VCARD line "
                                       "that ends it, from byte %1 of the file on")
                            .arg(m_fileAt));
    }
    block.last = cut == m_pending.size() && m_eof;
    block.begin = m_begin;
    block.text.encoding = m_encoding;
    block.text.markBytes = m_fileAt;
    QByteArray rest = m_pending.sliced(cut);
    m_pending.truncate(cut);
    block.text.bytes = std::exchange(m_pending, std::move(rest));
    m_begin += cut;
    if (block.text.isUtf16())
        m_fileAt += 2 * utf16Length(block.text.bytes);
    else if (!block.text.isUtf32())
        m_fileAt += cut;
    m_done = block.last;
    m_target = m_blockBytes;
    m_minCut = 0;
    return true;
}

void CardBlockReader::extend(CardBlock &&block)
{
    m_minCut = block.text.bytes.size();
    // The block's room mostly holds the bytes read after it as well: only they are copied.
    QByteArray joined = std::move(block.text.bytes);
    block.text.bytes = QByteArray();
    joined.append(m_pending);
    m_pending = std::move(joined);
    m_begin = block.begin;
    m_fileAt = block.text.markBytes;
    m_target = qMin<qint64>(qMax<qint64>(m_target, 2 * m_minCut), kMaxHeldFileBytes);
    m_done = false;
}

cardreader::LegacyCharset scanLegacyCharset(const CardFile &file, const std::atomic<bool> *cancel)
{
    CardBlockReader reader(file, cardBlockBytes(), cancel);
    cardreader::LegacyCharsetScan scan;
    CardBlock block;
    while (reader.next(block))
        scan.add(block.text.bytes);
    if (cancel && cancel->load(std::memory_order_relaxed))
        return {};
    return scan.decide();
}
