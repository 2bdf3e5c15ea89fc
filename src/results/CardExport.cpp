#include "results/CardExport.h"

#include "base/EventPump.h"
#include "base/Failure.h"
#include "base/NativePath.h"
#include "card/ByteSearch.h"
#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ContactFields.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"

#include <QCryptographicHash>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

void MatchingCards::add(const ResultRow &row)
{
    const qint32 file = fileOf(row.File);
    if (!take(file, row.Card.number))
        return;
    if (m_runs.isEmpty() || m_runs.constLast().file != file)
        m_runs.append({size(), file});
    m_keys.push_back(keyOf(row.Card.begin, row.Card.end, row.Contact));
    const bool fits
        = row.Card.number > 0 && row.Card.number <= qint64(std::numeric_limits<quint32>::max());
    m_numbers.push_back(fits ? quint32(row.Card.number) : 0);
}

qint32 MatchingCards::fileOf(const QString &path)
{
    // The rows of a file mostly come one after the other: the last file is asked first.
    if (!m_runs.isEmpty() && m_files.at(m_runs.constLast().file) == path)
        return m_runs.constLast().file;
    const auto it = m_fileIndex.constFind(path);
    if (it != m_fileIndex.cend())
        return *it;
    const qint32 file = qint32(m_files.size());
    m_files.append(path);
    m_fileIndex.insert(path, file);
    m_taken.emplace_back();
    m_takenOutside.emplace_back();
    return file;
}

bool MatchingCards::take(qint32 file, qint64 number)
{
    // Card numbers count a file's cards from 1: a bit per number up to the highest.
    constexpr qint64 kMostBits = qint64(1) << 28;
    if (number < 0 || number >= kMostBits) {
        QSet<qint64> &outside = m_takenOutside[std::size_t(file)];
        if (outside.contains(number))
            return false;
        outside.insert(number);
        return true;
    }
    std::vector<bool> &taken = m_taken[std::size_t(file)];
    if (std::size_t(number) >= taken.size())
        taken.resize(std::max(std::size_t(number) + 1, taken.size() * 2));
    if (taken[std::size_t(number)])
        return false;
    taken[std::size_t(number)] = true;
    return true;
}

quint64 MatchingCards::keyOf(qsizetype begin, qsizetype end, QStringView contact)
{
    // The seed differs from run to run, so that no file can be made to give a key of
    // another card.
    return qHashMulti(QHashSeed::globalSeed(), begin, end, contact);
}

MatchingCards matchingCardsOf(const ResultsModel &results, const OutputRows &rows)
{
    MatchingCards cards;
    for (qsizetype i = 0; i < rows.count(results); ++i)
        cards.add(results.row(rows.at(i)));
    return cards;
}

namespace {

using Kind = CardParser::Line::Kind;

constexpr QByteArrayView kLineEnd("\r\n");
constexpr QByteArrayView kBeginLine("BEGIN:VCARD\r\n");
constexpr QByteArrayView kEndLine("END:VCARD\r\n");

using Digest = std::array<char, 8>;

/// Equal for two cards whose fields are equal.
Digest fieldsDigest(const ContactFields &fields)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto addNumber = [&hash](qint64 number) {
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&number), sizeof number));
    };
    const auto addText = [&](QStringView text) {
        addNumber(text.size());
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(text.utf16()),
                                    text.size() * qsizetype(sizeof(char16_t))));
    };
    for (const ContactFieldInfo &field : declaredContactFields()) {
        if (!field.isList()) {
            addText(fields.*field.text);
            continue;
        }
        const TextList &values = fields.*field.list;
        addNumber(values.size());
        for (qsizetype i = 0; i < values.size(); ++i)
            addText(values.at(i));
    }
    // The values written over are found by a search too.
    const OverwrittenValues &overwritten = fields.Overwritten;
    addNumber(overwritten.texts.size());
    for (qsizetype i = 0; i < overwritten.texts.size(); ++i) {
        addNumber(overwritten.fields.at(i));
        addText(overwritten.texts.at(i));
    }
    // Eight bytes of the hash tell equal fields apart as well, at a quarter of the memory
    // per card.
    Digest digest;
    const QByteArrayView result = hash.resultView();
    std::copy_n(result.data(), digest.size(), digest.begin());
    return digest;
}

// Lines put before a card to read it as a file of its own that makes another charset
// its legacy one. They are of one length: the second is written over the first in place,
// for a card may be as large as its file.
constexpr QByteArrayView kContexts[]
    = {"X-QUILLORY-CHECK;CHARSET=KOI8-R:\r\n", "X-QUILLORY;CHARSET=windows-1252:\r\n"};
static_assert(kContexts[0].size() == kContexts[1].size());

/// True when the card's bytes after the first context line, read as a file of their
/// own, give one card with these fields, also after the other context line, which then
/// stands in their front.
bool readsAlike(QByteArray &card, const Digest &digest)
{
    static const ByteSearch quotedPrintable("quoted-printable", true);
    const QByteArrayView bytes = QByteArrayView(card).sliced(kContexts[0].size());
    // Only a byte above 127, as it stands or quoted-printable, can be read in a legacy
    // charset.
    const bool legacyMatters = hasNonAscii(bytes) || quotedPrintable.indexIn(bytes) >= 0;
    for (int k = 0; k < (legacyMatters ? 2 : 1); ++k) {
        if (k > 0)
            std::copy(kContexts[k].begin(), kContexts[k].end(), card.data());
        qsizetype count = 0;
        bool same = false;
        CardParser::parse(CardBytes{card, CardEncoding::Legacy}, [&](ContactFields &&fields) {
            same = ++count == 1 && fieldsDigest(fields) == digest;
        });
        if (count != 1 || !same)
            return false;
    }
    return true;
}

// A file's prepared text is at most one and a half times its bytes (UTF-16 made UTF-8),
// so an offset into it fits 32 bits: a place then takes half the room, and a file of
// cards nested without end holds one per few bytes.
static_assert(kMaxHeldFileBytes / 2 * 3 < std::numeric_limits<qint32>::max());

/// A card's bytes [begin, end) in its file's text.
struct Place
{
    qint32 begin = 0;
    qint32 end = 0;
};

/// The places of every card of a file, in the order of their beginnings, each with the
/// first place after it that begins at or after its end: a card's nested cards are
/// passed over in one step, however deep they nest.
struct Places
{
    std::deque<Place> list; // grows without a copy
    std::vector<qint32> after; // empty when no card nests: then always the next place

    void sort()
    {
        const auto byBegin = [](const Place &a, const Place &b) { return a.begin < b.begin; };
        if (!std::is_sorted(list.begin(), list.end(), byBegin))
            std::stable_sort(list.begin(), list.end(), byBegin);
        const auto nests = [this](std::size_t i) {
            return i + 1 < list.size() && list[i + 1].begin < list[i].end;
        };
        std::size_t i = 0;
        while (i < list.size() && !nests(i))
            ++i;
        if (i == list.size())
            return;
        after.resize(list.size());
        for (i = 0; i < list.size(); ++i) {
            const qsizetype end = list[i].end;
            after[i] = !nests(i)
                ? qint32(i + 1)
                : qint32(
                    std::partition_point(list.begin() + qsizetype(i) + 1, list.end(),
                                         [end](const Place &place) { return place.begin < end; })
                    - list.begin());
        }
    }

    qsizetype next(qsizetype i) const { return after.empty() ? i + 1 : after[std::size_t(i)]; }
};

/// The bytes after the last line end end in "=": a quoted-printable value's soft line
/// break would join the next line to it.
bool endsWithSoftBreak(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.back() == '\r' || bytes.back() == '\n'))
        bytes.chop(1);
    return !bytes.isEmpty() && bytes.back() == '=';
}

/// The bytes of a card made to stand on its own, after the first context line.
struct CardCopy
{
    QByteArray bytes;
    bool edited = false; ///< false when they are the card's bytes as they stand

    QByteArrayView card() const { return QByteArrayView(bytes).sliced(kContexts[0].size()); }
};

/// The card [begin, end) of the text, made to stand on its own in another file.
CardCopy cardBytes(const CardBytes &text, const Places &places, qsizetype begin, qsizetype end,
                   const std::function<QByteArray()> &legacyCharset)
{
    // A card written as an AGENT's escaped value is written as the card it holds.
    if (const QByteArray agent
        = CardParser::escapedAgentCard(QByteArrayView(text.bytes).sliced(begin, end - begin));
        !agent.isNull())
        return {kContexts[0].toByteArray() + agent, true};

    // The parts of the card outside the cards nested in it; a nested card's own nested
    // cards lie inside it.
    std::vector<Place> pieces;
    qsizetype at = begin;
    const std::deque<Place> &list = places.list;
    qsizetype nested
        = std::upper_bound(list.begin(), list.end(), begin,
                           [](qsizetype b, const Place &place) { return b < place.begin; })
        - list.begin();
    while (nested < qsizetype(list.size()) && list[std::size_t(nested)].begin < end) {
        pieces.push_back({qint32(at), list[std::size_t(nested)].begin});
        at = list[std::size_t(nested)].end;
        nested = places.next(nested);
    }
    pieces.push_back({qint32(at), qint32(end)});

    const QByteArrayView bytes(text.bytes);
    // Room for the most the copy can take, so that it never grows by a copy of itself: a
    // card may be as large as its file. Pages not written take no memory.
    constexpr qsizetype kMostAddedPerLine = 64; // ";CHARSET=" and a charset's name
    qsizetype most = kContexts[0].size() + kBeginLine.size() + kEndLine.size() + 2 * kLineEnd.size()
        + kMostAddedPerLine;
    for (const Place &piece : pieces) {
        const QByteArrayView part = bytes.sliced(piece.begin, piece.end - piece.begin);
        most += part.size()
            + (std::count(part.begin(), part.end(), '\n')
               + std::count(part.begin(), part.end(), '\r'))
                * kMostAddedPerLine;
    }
    QByteArray out;
    out.reserve(most);
    out.append(kContexts[0]);
    bool first = true;
    bool framed = false; // lines outside every card, framed by BEGIN and END lines of ours
    bool ended = false;
    bool charsetNamed = false;
    for (const Place &piece : pieces) {
        qsizetype copied = piece.begin;
        const auto copyTo = [&](qsizetype to) {
            out.append(bytes.sliced(copied, to - copied));
            copied = to;
        };
        CardParser::forEachLine(
            text, piece.begin, piece.end, legacyCharset, [&](const CardParser::Line &line) {
                if (first) {
                    first = false;
                    framed = line.kind != Kind::Begin;
                    if (framed) {
                        out.append(kBeginLine);
                        // A blank line, so that a line that begins with a blank does not
                        // continue the BEGIN line.
                        if (bytes[line.begin] == ' ' || bytes[line.begin] == '\t')
                            out.append(kLineEnd);
                    }
                }
                ended = line.kind == Kind::End;
                if (framed && ended) {
                    // An END line outside every card ends nothing; inside the frame it would.
                    copyTo(line.begin);
                    copied = line.end;
                    ended = false;
                    return;
                }
                if (line.ownCharset.isEmpty() || line.colon < 0)
                    return;
                copyTo(line.begin);
                const QByteArray parameter = ";CHARSET=" + line.ownCharset;
                const QByteArrayView physical = bytes.sliced(line.begin, line.end - line.begin);
                // The first physical line is the joined line's start.
                const auto lineEnd = std::find_if(physical.begin(), physical.end(),
                                                  [](char c) { return c == '\r' || c == '\n'; });
                if (line.colon < lineEnd - physical.begin()) {
                    out.append(physical.first(line.colon));
                    out.append(parameter);
                    out.append(physical.sliced(line.colon));
                } else {
                    // The colon lies in a continuation line: the line is written joined.
                    out.append(line.text.first(line.colon));
                    out.append(parameter);
                    out.append(line.text.sliced(line.colon));
                    out.append(kLineEnd);
                }
                copied = line.end;
                charsetNamed = true;
            });
        copyTo(piece.end);
        // A card nested from the middle of a line (AGENT:BEGIN:VCARD) leaves its line
        // unended: the line after the nested card must not continue it.
        if (&piece != &pieces.back() && !out.endsWith('\n') && !out.endsWith('\r'))
            out.append(kLineEnd);
    }
    if (first) {
        // The one empty card of a file that holds none.
        out.append(kBeginLine);
        framed = true;
    }
    const bool lineEndAdded = !out.endsWith('\n') && !out.endsWith('\r');
    if (lineEndAdded)
        out.append(kLineEnd);
    if (framed || !ended) {
        if (endsWithSoftBreak(out))
            out.append(kLineEnd);
        out.append(kEndLine);
    }
    return {out, pieces.size() > 1 || framed || !ended || lineEndAdded || charsetNamed};
}

/// A card to be taken out, as its file holds it now.
struct Found
{
    qint32 slot = 0; ///< its position in the list's cards [first, last)
    qint32 begin = 0; ///< its place is the one of the file's places that begins here
    Digest digest{};
};

/// Saves the cards [first, last) of the list, which are all of one file.
class FileSaver
{
public:
    FileSaver(const MatchingCards &cards, qsizetype first, qsizetype last, const QString &path,
              SavedCards &saved)
        : m_cards(cards), m_first(first), m_last(last), m_saved(saved), m_path(path)
    {}

    void save(const std::function<void(QByteArrayView)> &write, EventPump *pump)
    {
        if (!read()) {
            m_saved.leftOut += m_last - m_first;
            return;
        }
        std::optional<QByteArray> legacy;
        const std::function<QByteArray()> legacyCharset = [&] {
            if (!legacy)
                legacy = CardParser::legacyCharset(m_text.bytes);
            return *legacy;
        };
        std::size_t next = 0; // into m_found, which is in the order of the slots
        for (qsizetype k = m_first; k < m_last; ++k) {
            if (pump)
                pump->tick();
            if (next == m_found.size() || m_found[next].slot != k - m_first) {
                report(u"changed since the search"_s);
                ++m_saved.leftOut;
                continue;
            }
            const Found &found = m_found[next++];
            const qsizetype begin = found.begin;
            const qsizetype end = endOf(begin);
            CardCopy copy = cardBytes(m_text, m_places, begin, end, legacyCharset);
            // A card as it stands, each line of which reads alike in any file, needs no
            // check.
            if (copy.edited && !readsAlike(copy.bytes, found.digest)) {
                report(u"card %1 does not read the same on its own"_s.arg(m_cards.number(k)));
                ++m_saved.leftOut;
                continue;
            }
            write(copy.card());
            ++m_saved.written;
        }
    }

private:
    /// Reads and parses the file; false when that failed (and was reported).
    bool read()
    {
        try {
            CardFile file(m_path);
            if (file.isMissing()) {
                report(QString::fromLocal8Bit(std::strerror(file.openError())));
                return false;
            }
            m_text = file.read();
            // Where each card to be taken out stands in the list, by its number. The cards
            // of a search come in the order of their numbers: then a cursor finds them;
            // else a table by number does (a card can have no number beyond one per byte).
            const qint64 most = qint64(m_text.bytes.size()) + 1;
            bool ascending = true;
            qint64 highest = 0;
            for (qsizetype k = m_first; k < m_last; ++k) {
                const qint64 number = m_cards.number(k);
                ascending = ascending && (k == m_first || number > m_cards.number(k - 1));
                if (number <= most)
                    highest = std::max(highest, number);
            }
            std::vector<qint32> slotOf;
            if (!ascending) {
                slotOf.assign(std::size_t(highest) + 1, -1);
                for (qsizetype k = m_first; k < m_last; ++k) {
                    const qint64 number = m_cards.number(k);
                    if (number > 0 && number <= highest)
                        slotOf[std::size_t(number)] = qint32(k - m_first);
                }
            }
            qsizetype cursor = m_first;
            const auto slotOfNumber = [&](qint64 number) -> qsizetype {
                if (!ascending)
                    return number >= 0 && std::size_t(number) < slotOf.size()
                        ? slotOf[std::size_t(number)]
                        : -1;
                while (cursor < m_last && m_cards.number(cursor) < number)
                    ++cursor;
                return cursor < m_last && m_cards.number(cursor) == number ? cursor - m_first : -1;
            };
            CardParser::parse(
                m_text, [&](ContactFields &&fields, const CardParser::Identity &identity) {
                    m_places.list.push_back({qint32(identity.begin), qint32(identity.end)});
                    const qsizetype slot = slotOfNumber(identity.number);
                    if (slot < 0
                        || m_cards.key(m_first + slot)
                            != MatchingCards::keyOf(identity.begin, identity.end, identity.contact))
                        return;
                    m_found.push_back({qint32(slot), qint32(identity.begin), fieldsDigest(fields)});
                });
        } catch (const Failure &failure) {
            // The description names the path first.
            const QString &description = failure.description();
            const QString prefix = m_path + u": "_s;
            report(description.startsWith(prefix) ? description.sliced(prefix.size())
                                                  : description);
            return false;
        } catch (const std::length_error &error) {
            report(QString::fromLocal8Bit(error.what()));
            return false;
        }
        // Cards come in the order of their BEGIN lines, which is that of their beginnings.
        m_places.sort();
        const auto bySlot = [](const Found &a, const Found &b) { return a.slot < b.slot; };
        if (!std::is_sorted(m_found.begin(), m_found.end(), bySlot))
            std::sort(m_found.begin(), m_found.end(), bySlot);
        return true;
    }

    /// The end of the card that begins at begin (each card begins at a place of its own).
    qsizetype endOf(qsizetype begin) const
    {
        const std::deque<Place> &list = m_places.list;
        return std::lower_bound(list.begin(), list.end(), begin,
                                [](const Place &place, qsizetype b) { return place.begin < b; })
            ->end;
    }

    void report(const QString &reason)
    {
        if (!m_reported)
            m_saved.problems.append({m_path, reason});
        m_reported = true;
    }

    const MatchingCards &m_cards;
    qsizetype m_first;
    qsizetype m_last;
    SavedCards &m_saved;
    const QString &m_path;
    CardBytes m_text;
    Places m_places;
    std::deque<Found> m_found; // in the order of their slots; grows without a copy
    bool m_reported = false;
};

} // namespace

SavedCards SaveMatchingCards(const MatchingCards &cards, const QString &path, EventPump *pump,
                             WhenNoCard noCard)
{
    // QSaveFile would write to another name.
    if (hasUndecodableBytes(path))
        throw Failure(displayFileName(path)
                      + u": a file name that is not UTF-8 cannot be written"_s);
    // QSaveFile would put a regular file in the place of a device or a FIFO.
    if (const QString problem = outputKindProblem(path); !problem.isEmpty())
        throw Failure(problem);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(path + u": "_s + file.errorString());
    const auto write = [&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            throw Failure(path + u": "_s + reason);
        }
    };
    SavedCards saved;
    const QList<MatchingCards::Run> &runs = cards.runs();
    QSet<qint32> reported; // a file that comes again later is reported once
    for (qsizetype r = 0; r < runs.size(); ++r) {
        const qint32 fileIndex = runs.at(r).file;
        const qsizetype last = r + 1 < runs.size() ? runs.at(r + 1).first : cards.size();
        const qsizetype problems = saved.problems.size();
        FileSaver(cards, runs.at(r).first, last, cards.files().at(fileIndex), saved)
            .save(write, pump);
        if (saved.problems.size() > problems) {
            if (reported.contains(fileIndex))
                saved.problems.resize(problems);
            reported.insert(fileIndex);
        }
    }
    // An old file stays.
    if (saved.written == 0 && noCard == WhenNoCard::WriteNothing) {
        file.cancelWriting();
        return saved;
    }
    if (!file.commit())
        throw Failure(path + u": "_s + file.errorString());
    return saved;
}

QString savedCardsText(const SavedCards &saved, const QString &fileName, const QString &note)
{
    QString text = saved.written == 0
        ? u"No card has been saved, and %1 has not been written%2."_s.arg(fileName, note)
        : saved.written == 1 ? u"1 card has been saved to %1%2."_s.arg(fileName, note)
                             : u"%1 cards have been saved to %2%3."_s.arg(
                                 QString::number(saved.written), fileName, note);
    if (saved.leftOut > 0)
        text += saved.leftOut == 1
            ? u" 1 card was left out."_s
            : u" %1 cards were left out."_s.arg(QString::number(saved.leftOut));
    if (saved.problems.isEmpty())
        return text;
    text += u"\r\rCards of these files could not be taken out:"_s;
    for (const CardExportProblem &problem : saved.problems)
        text += u'\r' + displayFileName(problem.file) + u": "_s + problem.reason;
    return text;
}
