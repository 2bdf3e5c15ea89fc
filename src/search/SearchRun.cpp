#include "search/SearchRun.h"

#include "app/ErrorReport.h"
#include "card/CardParser.h"
#include "filelist/PathRules.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <QHash>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

QStringList SearchCriteria::searchTexts() const
{
    switch (mode) {
    case Mode::This:
        return {text};
    case Mode::Multiple:
        return sets;
    case Mode::None:
        break;
    }
    return {};
}

namespace {

// A part of a file parsed on a thread of its own is at least this large.
constexpr qsizetype kMinPartBytes = qsizetype(4) << 20;
// A host that stays live reads and searches a file this large on a second thread: a
// smaller one takes less than the 50 ms that events may wait.
constexpr qint64 kLiveFileBytes = qint64(2) << 20;
// Rows held back are handed on in batches of this many.
constexpr qsizetype kRowBatch = 4096;
// The rows of small cards are handed on once this many have gathered.
constexpr qsizetype kCardsRowBatch = 256;

using RowSink = std::function<void(QList<ResultRow> &&)>;

/// Line numbers of the places of one text, asked in increasing order: each asks only
/// about the bytes after the last, so numbering every card of a file is one pass.
class LineCounter
{
public:
    explicit LineCounter(QByteArrayView text) : m_text(text) {}

    /// The 1-based number of the line that starts at offset.
    qint64 lineAt(qsizetype offset)
    {
        if (offset < m_at) {
            m_at = 0;
            m_line = 1;
        }
        m_line += CardParser::countLineEnds(m_text.sliced(m_at, offset - m_at));
        m_at = offset;
        return m_line;
    }

private:
    QByteArrayView m_text;
    qsizetype m_at = 0;
    qint64 m_line = 1;
};

/// The rows of one part of a file, held until the parts before it are done. The file
/// is the same for all and the card's line is told when they are handed on; the rest
/// is kept compactly: the tag as a number into a table of field names, with the
/// element's position for a list field's element (or, for another property's tag, the
/// number past the fields and a number into a table of tags), the card and the search
/// text as numbers into tables of their own, and the value's UTF-16 code units. So a part of
/// many matching values holds about as many bytes as its lines, not a string object
/// per cell.
class HeldRows
{
public:
    void add(const QList<ResultRow> &rows)
    {
        for (const ResultRow &row : rows) {
            // Rows come from forEachFieldMatch: a tag names a field or another property.
            const FieldTag tag = fieldOfTag(row.Tag);
            if (tag.field < 0) {
                appendNumber(kOtherProperty);
                appendNumber(idOf(m_tagIds, m_tags, row.Tag));
            } else {
                appendNumber(quint64(tag.field));
                appendNumber(tag.position);
            }
            if (m_cards.isEmpty() || m_cards.constLast().place.number != row.Card.number)
                m_cards.append({row.Card, row.Contact});
            appendNumber(quint64(m_cards.size() - 1));
            appendNumber(idOf(m_textIds, m_texts, row.Text));
            appendNumber(quint64(row.Value.size()));
            m_bytes.append(reinterpret_cast<const char *>(row.Value.utf16()),
                           row.Value.size() * qsizetype(sizeof(char16_t)));
        }
    }

    /// Hands the rows on in batches, as rows of path whose cards are numbered after
    /// cardsBefore others, and forgets them.
    void handOn(const QString &path, qint64 cardsBefore, LineCounter &lines, const RowSink &sink)
    {
        for (Card &card : m_cards) {
            card.place.number += cardsBefore;
            card.place.line = lines.lineAt(card.place.begin);
        }
        QList<ResultRow> batch;
        const char *p = m_bytes.constData();
        const char *const end = p + m_bytes.size();
        while (p < end) {
            const quint64 field = readNumber(p);
            const quint64 position = readNumber(p);
            const QString &name = field == kOtherProperty ? m_tags.at(qsizetype(position))
                                                          : searchedFieldTag(std::size_t(field));
            const Card &card = m_cards.at(qsizetype(readNumber(p)));
            const QString &text = m_texts.at(qsizetype(readNumber(p)));
            const auto length = qsizetype(readNumber(p));
            QString value(length, Qt::Uninitialized);
            std::memcpy(value.data(), p, std::size_t(length) * sizeof(char16_t));
            p += length * qsizetype(sizeof(char16_t));
            batch.append(
                {path,
                 position == 0 || field == kOtherProperty ? name : name + QString::number(position),
                 std::move(value), card.contact, text, card.place});
            if (batch.size() == kRowBatch)
                sink(std::exchange(batch, {}));
        }
        if (!batch.isEmpty())
            sink(std::move(batch));
        m_bytes.clear();
        m_cards.clear();
    }

private:
    static constexpr quint64 kOtherProperty = kContactFieldCount;

    struct Card
    {
        CardPlace place;
        QString contact;
    };

    static quint32 idOf(QHash<QString, quint32> &ids, QStringList &names, const QString &name)
    {
        auto it = ids.constFind(name);
        if (it == ids.cend()) {
            it = ids.insert(name, quint32(names.size()));
            names.append(name);
        }
        return *it;
    }

    void appendNumber(quint64 number)
    {
        while (number >= 0x80) {
            m_bytes.append(char((number & 0x7F) | 0x80));
            number >>= 7;
        }
        m_bytes.append(char(number));
    }

    static quint64 readNumber(const char *&p)
    {
        quint64 number = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*p++);
            number |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return number;
        }
    }

    QByteArray m_bytes;
    QHash<QString, quint32> m_textIds;
    QStringList m_texts;
    QHash<QString, quint32> m_tagIds;
    QStringList m_tags;
    QList<Card> m_cards;
};

/// The search of one file's text, card by card, with the criteria of the moment.
struct FileSearch
{
    const std::vector<TextMatcher> &matchers;
    const RawValueFilter *filter; // null when the texts are of a kind it cannot judge
    const QString &path;
    ParseOptions options;

    /// Gathers the rows of one card into rows, and hands rows to sink whenever it holds a
    /// batch: a card of a million matching values is not held as a million rows at once.
    /// lineOf tells the line of the card's first byte; it is asked only for a card with
    /// rows, and once.
    template<typename LineOf, typename Sink>
    void cardRows(const ContactFields &card, const CardParser::Identity &identity, LineOf &&lineOf,
                  QList<ResultRow> &rows, Sink &&sink) const
    {
        qint64 line = 0;
        for (const TextMatcher &matcher : matchers) {
            forEachFieldMatch(card, matcher, [&](const QString &tag, QString value) {
                if (line == 0)
                    line = lineOf(identity.begin);
                rows.append({path,
                             tag,
                             std::move(value),
                             identity.contact,
                             matcher.text(),
                             {identity.number, line, identity.begin, identity.end}});
                if (rows.size() == kRowBatch)
                    sink(std::exchange(rows, {}));
            });
        }
    }

    /// Hands the rows of every card of the text to sink as they are found, in card
    /// order. A large text is parsed in parts at once when threads allow, each part cut
    /// right after a card's END line; the parts' rows are held until the parts before
    /// them are done, and when a part does not end outside every card (cards nested
    /// across the cut) the text is parsed again whole.
    void run(const CardBytes &text, int threads, const RowSink &sink,
             const std::atomic<bool> *cancel) const
    {
        // A file that cannot hold a search text need not be parsed.
        if (filter && !filter->fileMayContain(text.bytes, cancel))
            return;
        const qsizetype size = text.bytes.size();
        const int parts = int(qMin(qsizetype(qMax(threads, 1)), size / kMinPartBytes));
        const QList<qsizetype> cuts
            = parts > 1 ? CardParser::cutPoints(text.bytes, parts) : QList<qsizetype>();
        if (cuts.isEmpty() || !runInParts(text, cuts, sink))
            runWhole(text, sink, cancel);
    }

    void runWhole(const CardBytes &text, const RowSink &sink, const std::atomic<bool> *cancel) const
    {
        // Rows go on in batches that the cards fill, so that a file of many cards with a
        // row or two each is not handed on card by card.
        QList<ResultRow> rows;
        LineCounter lines(text.bytes);
        const auto lineOf = [&lines](qsizetype offset) { return lines.lineAt(offset); };
        CardParser::parse(
            text,
            [&](ContactFields &&card, const CardParser::Identity &identity) {
                cardRows(card, identity, lineOf, rows, sink);
                if (rows.size() >= kCardsRowBatch)
                    sink(std::exchange(rows, {}));
            },
            filter, cancel, options);
        if (!rows.isEmpty())
            sink(std::move(rows));
    }

    /// False when a part did not end outside every card; nothing is handed on then.
    bool runInParts(const CardBytes &text, const QList<qsizetype> &cuts, const RowSink &sink) const
    {
        const std::size_t count = std::size_t(cuts.size()) + 1;
        std::vector<HeldRows> held(count);
        std::vector<qint64> cards(count, 0);
        std::vector<char> endedOutside(count, 0);
        std::vector<std::exception_ptr> failures(count);
        // A part's lines are numbered when its rows are handed on, in order.
        const auto noLine = [](qsizetype) { return qint64(-1); };
        const auto parsePart = [&](std::size_t k) {
            try {
                const qsizetype from = k == 0 ? 0 : cuts.at(qsizetype(k) - 1);
                const qsizetype to = k + 1 == count ? text.bytes.size() : cuts.at(qsizetype(k));
                bool outside = false;
                cards[k] = CardParser::parseRange(
                    text, from, to,
                    [&](ContactFields &&card, const CardParser::Identity &identity) {
                        QList<ResultRow> rows;
                        cardRows(card, identity, noLine, rows,
                                 [&](QList<ResultRow> &&full) { held[k].add(full); });
                        held[k].add(rows);
                    },
                    filter, &outside, nullptr, options);
                endedOutside[k] = outside;
            } catch (...) {
                failures[k] = std::current_exception();
            }
        };
        {
            std::vector<std::jthread> workers;
            for (std::size_t k = 1; k < count; ++k) {
                try {
                    workers.emplace_back(parsePart, k);
                } catch (const std::system_error &) {
                    parsePart(k); // no thread to be had: this one parses the part
                }
            }
            parsePart(0);
        }
        for (const std::exception_ptr &failure : failures) {
            if (failure)
                std::rethrow_exception(failure);
        }
        for (std::size_t k = 0; k + 1 < count; ++k) {
            if (!endedOutside[k])
                return false;
        }
        LineCounter lines(text.bytes);
        qint64 cardsBefore = 0;
        for (std::size_t k = 0; k < count; ++k) {
            held[k].handOn(path, cardsBefore, lines, sink);
            cardsBefore += cards[k];
        }
        return true;
    }
};

/// Runs work on a second thread while this one lets events run and hands on the rows
/// that work finds, about every 20 ms. When stopped() turns true, work is cancelled: it
/// ends at its next line, and the rows found so far are handed on. Returns false when
/// it was cancelled so.
class LiveWork
{
public:
    using Work = std::function<void(const std::atomic<bool> &cancel, const RowSink &sink)>;

    static bool run(SearchHost &host, const std::function<bool()> &stopped, const Work &work)
    {
        LiveWork live;
        const RowSink sink = [&live](QList<ResultRow> &&rows) {
            const std::lock_guard lock(live.m_mutex);
            live.m_rows.append(std::move(rows));
        };
        std::optional<std::thread> worker;
        try {
            worker.emplace([&] {
                try {
                    work(live.m_cancel, sink);
                } catch (...) {
                    live.m_failure = std::current_exception();
                }
                const std::lock_guard lock(live.m_mutex);
                live.m_done = true;
                live.m_changed.notify_all();
            });
        } catch (const std::system_error &) {
            // No thread to be had: the work is done here, events wait until it is over.
            work(live.m_cancel,
                 [&host](QList<ResultRow> &&rows) { host.addRows(std::move(rows)); });
            return true;
        }
        // Whatever happens on this side, the worker is cancelled and waited for.
        struct Joiner
        {
            LiveWork &live;
            std::thread &thread;
            ~Joiner()
            {
                live.m_cancel.store(true);
                thread.join();
            }
        } joiner{live, *worker};
        for (;;) {
            QList<ResultRow> ready;
            bool done = false;
            {
                std::unique_lock lock(live.m_mutex);
                live.m_changed.wait_for(lock, std::chrono::milliseconds(20),
                                        [&] { return live.m_done; });
                ready.swap(live.m_rows);
                done = live.m_done;
            }
            if (!ready.isEmpty())
                host.addRows(std::move(ready));
            if (done)
                break;
            host.processEvents();
            if (stopped())
                live.m_cancel.store(true);
        }
        if (live.m_failure)
            std::rethrow_exception(live.m_failure);
        return !live.m_cancel.load();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<ResultRow> m_rows;
    bool m_done = false;
    std::exception_ptr m_failure;
    std::atomic<bool> m_cancel{false};
};

} // namespace

SearchRun::SearchRun(QStringList files) : m_files(std::move(files)) {}

bool SearchRun::run(SearchHost &host, Guard &guard)
{
    m_running = true;
    m_filesDone = 0;
    const qsizetype count = m_files.size();
    QStringList preparedTexts;
    MatchOptions preparedOptions;
    std::vector<TextMatcher> matchers;
    std::optional<RawValueFilter> filter;
    const RowSink toHost = [&host](QList<ResultRow> &&rows) { host.addRows(std::move(rows)); };
    const auto stopped = [this] { return m_stopRequested; };
    for (qsizetype i = 0; i < count; ++i) {
        if (m_stopRequested)
            break;
        const QString &path = m_files.at(i);
        guard.step(134, [&] {
            host.showProgress(double(i + 1) / double(count) * 100.0,
                              u"Processing: "_s + GetFileNameFromPath(path));
        });
        guard.step(138, [&] { host.processEvents(); });
        guard.step(140, [&] { host.markBusy(); });
        // The cards are read one by one as the file is parsed, and their rows handed on
        // as they are found: a file of many cards is never held as records all at once.
        CardBytes text;
        bool live = false;
        bool cancelled = false;
        if (!guard.step(142, [&] {
                if (!host.staysLive()) {
                    text = host.readFile(path);
                    return;
                }
                CardFile file(path);
                live = file.size() >= kLiveFileBytes;
                if (!live) {
                    text = file.read();
                    return;
                }
                cancelled = !LiveWork::run(host, stopped,
                                           [&](const std::atomic<bool> &cancel, const RowSink &) {
                                               text = file.read(&cancel);
                                           });
            })) {
            ++m_filesDone; // reported, so done with
            continue;
        }
        if (cancelled)
            break;
        bool finished = true;
        guard.step(144, [&] {
            const SearchCriteria criteria = host.currentCriteria();
            QStringList texts = criteria.searchTexts();
            MatchOptions options = criteria.matchOptions();
            // The criteria rarely change during a run: the matchers are made again only
            // when they do.
            if (!filter || texts != preparedTexts || options != preparedOptions) {
                matchers.clear();
                for (const QString &searchText : std::as_const(texts))
                    matchers.emplace_back(searchText, options);
                filter.emplace(texts, options);
                preparedTexts = std::move(texts);
                preparedOptions = std::move(options);
            }
            if (matchers.empty())
                return;
            // Files and values that cannot hold a search text need not be parsed or
            // decoded.
            const FileSearch search{matchers, filter->isUsable() ? &*filter : nullptr, path,
                                    ParseOptions{criteria.allProperties}};
            const int threads = host.parseThreads();
            if (!live) {
                search.run(text, threads, toHost, nullptr);
                return;
            }
            finished = LiveWork::run(host, stopped,
                                     [&](const std::atomic<bool> &cancel, const RowSink &sink) {
                                         search.run(text, threads, sink, &cancel);
                                     });
        });
        if (finished)
            ++m_filesDone;
    }
    m_running = false;
    return !m_stopRequested;
}
