#include "results/CardExport.h"

#include "app/EventPump.h"
#include "app/Failure.h"
#include "card/ByteSearch.h"
#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/ContactFields.h"
#include "card/NativePath.h"
#include "results/ResultsModel.h"

#include <QCryptographicHash>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

void MatchingCards::add(const ResultRow &row)
{
    // The rows of a card mostly come one after the other: the last card is asked first.
    if (!m_cards.isEmpty() && m_cards.constLast().number == row.Card.number
        && m_cards.constLast().file == row.File)
        return;
    QSet<qint64> &numbers = m_numbers[row.File];
    if (numbers.contains(row.Card.number))
        return;
    numbers.insert(row.Card.number);
    m_cards.append({row.File, row.Card.number, row.Card.begin, row.Card.end, row.Contact});
}

MatchingCards matchingCardsOf(const ResultsModel &results)
{
    MatchingCards cards;
    for (qsizetype r = 0; r < results.count(); ++r)
        cards.add(results.row(r));
    return cards;
}

namespace {

using Kind = CardParser::Line::Kind;

constexpr QByteArrayView kLineEnd("\r\n");
constexpr QByteArrayView kBeginLine("BEGIN:VCARD\r\n");
constexpr QByteArrayView kEndLine("END:VCARD\r\n");

/// Equal for two cards whose fields are equal.
QByteArray fieldsDigest(const ContactFields &fields)
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
    return hash.result();
}

/// True when the card's bytes, read as a file of their own, give one card with these
/// fields, also after a line that makes another charset the file's legacy one.
bool readsAlike(const QByteArray &card, const QByteArray &digest)
{
    static constexpr QByteArrayView kContexts[]
        = {"X-QUILLORY;CHARSET=KOI8-R:\r\n", "X-QUILLORY;CHARSET=windows-1252:\r\n"};
    static const ByteSearch quotedPrintable("quoted-printable", true);
    // Only a byte above 127, as it stands or quoted-printable, can be read in a legacy
    // charset.
    const bool legacyMatters = hasNonAscii(card) || quotedPrintable.indexIn(card) >= 0;
    for (int k = 0; k < (legacyMatters ? 2 : 1); ++k) {
        const CardBytes probe{kContexts[k].toByteArray() + card, CardEncoding::Legacy};
        qsizetype count = 0;
        bool same = false;
        CardParser::parse(probe, [&](ContactFields &&fields) {
            same = ++count == 1 && fieldsDigest(fields) == digest;
        });
        if (count != 1 || !same)
            return false;
    }
    return true;
}

/// A card's bytes [begin, end) in its file's text.
struct Place
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

/// The bytes after the last line end end in "=": a quoted-printable value's soft line
/// break would join the next line to it.
bool endsWithSoftBreak(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.back() == '\r' || bytes.back() == '\n'))
        bytes.chop(1);
    return !bytes.isEmpty() && bytes.back() == '=';
}

/// The bytes of a card made to stand on its own.
struct CardCopy
{
    QByteArray bytes;
    bool edited = false; ///< false when they are the card's bytes as they stand
};

/// The card [begin, end) of the text, made to stand on its own in another file; places
/// are those of every card of the text, in the order of their beginnings.
CardCopy cardBytes(const CardBytes &text, const std::vector<Place> &places, qsizetype begin,
                   qsizetype end, const std::function<QByteArray()> &legacyCharset)
{
    // The parts of the card outside the cards nested in it; a nested card's own nested
    // cards lie inside it.
    std::vector<Place> pieces;
    qsizetype at = begin;
    auto nested = std::upper_bound(places.begin(), places.end(), begin,
                                   [](qsizetype b, const Place &place) { return b < place.begin; });
    for (; nested != places.end() && nested->begin < end; ++nested) {
        if (nested->begin < at)
            continue;
        pieces.push_back({at, nested->begin});
        at = nested->end;
    }
    pieces.push_back({at, end});

    const QByteArrayView bytes(text.bytes);
    QByteArray out;
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
    }
    if (first) {
        // The one empty card of a file that holds none.
        out = kBeginLine.toByteArray();
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

/// What a file holds now at the place of a card that is to be taken out.
struct Found
{
    bool present = false;
    qsizetype begin = 0;
    qsizetype end = 0;
    QString contact;
    QByteArray digest;
};

/// Saves the cards [first, last) of the list, which are all of one file.
class FileSaver
{
public:
    FileSaver(const QList<MatchingCards::Card> &cards, qsizetype first, qsizetype last,
              SavedCards &saved)
        : m_cards(cards), m_first(first), m_last(last), m_saved(saved), m_path(cards.at(first).file)
    {}

    void save(const std::function<void(QByteArrayView)> &write, EventPump *pump)
    {
        if (!read())
            return;
        std::optional<QByteArray> legacy;
        const std::function<QByteArray()> legacyCharset = [&] {
            if (!legacy)
                legacy = CardParser::legacyCharset(m_text.bytes);
            return *legacy;
        };
        for (qsizetype k = m_first; k < m_last; ++k) {
            if (pump)
                pump->tick();
            const MatchingCards::Card &card = m_cards.at(k);
            const Found found = m_found.value(card.number);
            if (!found.present || found.begin != card.begin || found.end != card.end
                || found.contact != card.contact || card.end > m_text.bytes.size()) {
                report(u"changed since the search"_s);
                continue;
            }
            const CardCopy copy = cardBytes(m_text, m_places, card.begin, card.end, legacyCharset);
            // A card as it stands, each line of which reads alike in any file, needs no
            // check.
            if (copy.edited && !readsAlike(copy.bytes, found.digest)) {
                report(u"card %1 does not read the same on its own"_s.arg(card.number));
                continue;
            }
            write(copy.bytes);
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
            for (qsizetype k = m_first; k < m_last; ++k)
                m_found.insert(m_cards.at(k).number, {});
            CardParser::parse(m_text,
                              [this](ContactFields &&fields, const CardParser::Identity &identity) {
                                  m_places.push_back({identity.begin, identity.end});
                                  const auto it = m_found.find(identity.number);
                                  if (it != m_found.end())
                                      *it = {true, identity.begin, identity.end, identity.contact,
                                             fieldsDigest(fields)};
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
        if (!std::is_sorted(m_places.begin(), m_places.end(),
                            [](const Place &a, const Place &b) { return a.begin < b.begin; }))
            std::stable_sort(m_places.begin(), m_places.end(),
                             [](const Place &a, const Place &b) { return a.begin < b.begin; });
        return true;
    }

    void report(const QString &reason)
    {
        if (!m_reported)
            m_saved.problems.append({m_path, reason});
        m_reported = true;
    }

    const QList<MatchingCards::Card> &m_cards;
    qsizetype m_first;
    qsizetype m_last;
    SavedCards &m_saved;
    const QString &m_path;
    CardBytes m_text;
    std::vector<Place> m_places;
    QHash<qint64, Found> m_found;
    bool m_reported = false;
};

} // namespace

SavedCards SaveMatchingCards(const MatchingCards &cards, const QString &path, EventPump *pump)
{
    // QSaveFile would write to another name.
    if (hasUndecodableBytes(path))
        throw Failure(displayFileName(path)
                      + u": a file name that is not UTF-8 cannot be written"_s);
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
    const QList<MatchingCards::Card> &list = cards.cards();
    for (qsizetype first = 0; first < list.size();) {
        qsizetype last = first + 1;
        while (last < list.size() && list.at(last).file == list.at(first).file)
            ++last;
        const qsizetype problems = saved.problems.size();
        FileSaver(list, first, last, saved).save(write, pump);
        // A file that comes again later is reported once.
        for (qsizetype p = problems; p < saved.problems.size(); ++p) {
            for (qsizetype q = 0; q < problems; ++q) {
                if (saved.problems.at(q).file == saved.problems.at(p).file) {
                    saved.problems.removeAt(p--);
                    break;
                }
            }
        }
        first = last;
    }
    if (!file.commit())
        throw Failure(path + u": "_s + file.errorString());
    return saved;
}

QString savedCardsText(const SavedCards &saved, const QString &fileName)
{
    QString text = saved.written == 1
        ? u"1 card has been saved to %1."_s.arg(fileName)
        : u"%1 cards have been saved to %2."_s.arg(QString::number(saved.written), fileName);
    if (saved.problems.isEmpty())
        return text;
    text += u"\r\rCards of these files could not be taken out:"_s;
    for (const CardExportProblem &problem : saved.problems)
        text += u'\r' + displayFileName(problem.file) + u": "_s + problem.reason;
    return text;
}
