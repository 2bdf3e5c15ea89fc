#pragma once

#include "card/AsciiText.h"
#include "card/ByteSearch.h"
#include "card/LineContinuation.h"
#include "card/PropertyLine.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <cstring>

// Line splitting and unfolding: physical lines end at CR* LF or a lone CR; a fold (a
// line that starts with a blank) and a quoted-printable soft line break (a line that
// ends in "=") continue the logical line.
namespace cardreader {

inline bool isLineEndByte(char c)
{
    return c == '\r' || c == '\n';
}

/// The position after the line end at p: CR* LF, or a lone CR.
inline qsizetype afterLineEnd(QByteArrayView data, qsizetype p)
{
    qsizetype k = p;
    while (k < data.size() && data[k] == '\r')
        ++k;
    return (k < data.size() && data[k] == '\n') ? k + 1 : p + 1;
}

/// afterLineEnd for a loop over every line end of some bytes. A run of CRs that no LF
/// follows is made of lone CRs, each a line end of its own: the run's extent is kept,
/// so that the run is scanned once, not once for each of its CRs.
class LineEnds
{
public:
    explicit LineEnds(QByteArrayView data) : m_data(data) {}

    qsizetype after(qsizetype p)
    {
        // LF and CR LF first: most files end every line so.
        const qsizetype n = m_data.size();
        if (m_data[p] == '\n')
            return p + 1;
        if (p + 1 < n && m_data[p + 1] == '\n')
            return p + 2;
        if (p < m_runStart || p >= m_runEnd) {
            qsizetype k = p;
            while (k < m_data.size() && m_data[k] == '\r')
                ++k;
            m_runStart = p;
            m_runEnd = k;
        }
        return (m_runEnd < m_data.size() && m_data[m_runEnd] == '\n') ? m_runEnd + 1 : p + 1;
    }

private:
    QByteArrayView m_data;
    qsizetype m_runStart = 0;
    qsizetype m_runEnd = 0;
};

/// Follows whether a logical line that grows by folds is quoted-printable, without
/// reading it again from its start at every fold: the colon that starts the value (see
/// valueColon) is found by one scan that goes on where it stopped.
class QuotedPrintableLine
{
public:
    void reset() { *this = QuotedPrintableLine(); }

    /// The colon that starts the value as the last is() found it, or -1.
    qsizetype colon() const { return m_colon; }

    /// The line was cut back to size bytes (a soft break's "=" taken off).
    void cutTo(qsizetype size) { m_scanned = qMin(m_scanned, size); }

    bool is(QByteArrayView line)
    {
        for (; m_scanned < line.size(); ++m_scanned) {
            const char c = line[m_scanned];
            if (c == '"') {
                m_quoted = !m_quoted;
                if (m_firstColon < 0)
                    m_quoteBeforeColon = true;
            } else if (c == ':') {
                if (m_firstColon < 0)
                    m_firstColon = m_scanned;
                if (!m_quoted && m_unquotedColon < 0)
                    m_unquotedColon = m_scanned;
            }
            if (m_unquotedColon >= 0 && (m_firstColon == m_unquotedColon || m_quoteBeforeColon))
                break; // the colon can no longer move
        }
        qsizetype colon = m_firstColon;
        if (m_quoteBeforeColon && m_unquotedColon >= 0)
            colon = m_unquotedColon;
        if (colon != m_colon) {
            m_colon = colon;
            m_qp = colon >= 0 && containsNoCase(line.first(colon), "QUOTED-PRINTABLE");
        }
        return m_qp;
    }

private:
    qsizetype m_scanned = 0;
    qsizetype m_firstColon = -1;
    qsizetype m_unquotedColon = -1;
    bool m_quoted = false;
    bool m_quoteBeforeColon = false;
    qsizetype m_colon = -1;
    bool m_qp = false;
};

/// Splits the bytes into physical lines (CR* LF, or a lone CR) and joins folded
/// lines and quoted-printable soft line breaks into logical lines, and the lines that
/// continue a value though they are not folded (see mayContinueValue). The consumer takes
/// the line, where it starts, where its last line end ends and whether it was joined,
/// and returns where reading goes on when it skips ahead, else -1; when cancel is set,
/// reading stops at the next line.
template<typename Consumer>
void forEachLogicalLine(QByteArrayView data, Consumer &&consume, const std::atomic<bool> *cancel)
{
    QByteArray joined;
    QByteArrayView current;
    bool haveCurrent = false;
    bool isJoined = false;
    bool softBreak = false; // the current line is quoted-printable and ends in "="
    SoftBreakFolding folding;
    NameScan currentScan{QByteArrayView()};
    qsizetype currentEnd = 0; // where the current line's last line end ends
    QuotedPrintableLine quotedPrintable;
    // How the current line takes a line that continues its value, known for the colon
    // it was found at; the name before the colon then stays as it is.
    qsizetype continuationColon = -2;
    Continuation continuation = Continuation::None;

    const qsizetype n = data.size();
    const char *const base = data.data();
    const auto view = [&]() { return isJoined ? QByteArrayView(joined) : current; };
    const auto makeJoined = [&]() {
        if (!isJoined) {
            joined.resize(0);
            joined.append(current);
            isJoined = true;
            quotedPrintable.reset();
        }
    };
    // Hands the current line out; returns where reading goes on when the consumer
    // skips ahead, else -1.
    const auto flush = [&]() -> qsizetype {
        qsizetype resume = -1;
        if (haveCurrent) {
            // A soft line break that nothing follows (a blank line, the end) joins nothing:
            // its "=" goes.
            if (softBreak) {
                makeJoined();
                joined.chop(1);
            }
            folding.follow(view(), currentScan);
            resume = consume(view(), current.data() - base, currentEnd, isJoined);
        }
        haveCurrent = false;
        isJoined = false;
        softBreak = false;
        continuationColon = -2;
        return resume;
    };

    LineEnds lineEnds(data);
    qsizetype pos = 0;
    while (pos < n) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        // One pass over the line for either line end byte.
        const qsizetype end = nextLineEnd(base + pos, base + n) - base;
        const QByteArrayView physical = data.sliced(pos, end - pos);
        pos = end < n ? lineEnds.after(end) : n;

        if (physical.isEmpty()) {
            // A blank line ends folding and soft line breaks.
            if (const qsizetype resume = flush(); resume >= 0) {
                pos = resume;
                folding.skippedCard();
            }
            continue;
        }
        if (haveCurrent && softBreak) {
            QByteArrayView rest = physical;
            if (folding.folds() && (rest.front() == ' ' || rest.front() == '\t'))
                rest = rest.sliced(1);
            makeJoined();
            joined.chop(1);
            quotedPrintable.cutTo(joined.size());
            joined.append(rest);
            // A fold of nothing ends the soft line break, as a blank in 2.1 does.
            softBreak = !rest.isEmpty() && rest.back() == '=';
            currentEnd = pos;
            continue;
        }
        if (haveCurrent && (physical.front() == ' ' || physical.front() == '\t')) {
            makeJoined();
            joined.append(physical.sliced(1));
            softBreak = joined.endsWith('=') && quotedPrintable.is(joined);
            currentEnd = pos;
            continue;
        }
        // A line that a fold continues may hold its colon further on.
        const NameScan scan(physical);
        if (haveCurrent && !scan.hasColon && (pos == n || (data[pos] != ' ' && data[pos] != '\t'))
            && mayContinueValue(physical)) {
            qsizetype colon = -1;
            if (isJoined) {
                quotedPrintable.is(joined);
                colon = quotedPrintable.colon();
            } else {
                colon = valueColon(current);
            }
            if (colon != continuationColon) {
                continuationColon = colon;
                continuation = continuationOf(view(), colon);
            }
            if (continuation != Continuation::None) {
                makeJoined();
                appendContinuation(joined, physical, continuation);
                softBreak = physical.back() == '=' && quotedPrintable.is(joined);
                currentEnd = pos;
                continue;
            }
        }
        if (const qsizetype resume = flush(); resume >= 0) {
            pos = resume; // this physical line lies in what was skipped
            folding.skippedCard();
            continue;
        }
        haveCurrent = true;
        currentScan = scan;
        current = physical;
        currentEnd = pos;
        softBreak = physical.back() == '=' && isQuotedPrintableLine(physical);
    }
    flush();
}

/// The number of line ends in the bytes (see CardParser::countLineEnds).
qint64 countLineEnds(QByteArrayView bytes);

/// The bytes with every fold and soft line break joined (see CardParser::joinedLines).
QByteArray joinedLines(QByteArrayView bytes);

} // namespace cardreader
