#include "search/SearchReport.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <utility>

using namespace Qt::StringLiterals;

qint64 SearchReport::File::firstLine() const
{
    qint64 line = 0;
    for (const ReadFacts::Tally &tally : facts.problems) {
        if (tally.count > 0 && tally.first > 0 && (line == 0 || tally.first < line))
            line = tally.first;
    }
    return line;
}

SearchReport::SearchReport(bool keepEveryFile, qsizetype spoolAfter)
    : m_keepEveryFile(keepEveryFile),
      m_spool(keepEveryFile && spoolAfter >= 0 ? std::make_shared<Spool>(spoolAfter) : nullptr)
{
    m_clock.start();
}

void SearchReport::fileStarted(qsizetype index, const FileRef &file)
{
    spoolCurrent();
    m_index = index;
    m_file = file;
    m_kept = false;
    m_counted = false;
    m_factsTold = false;
    // The current file's whole entry is kept for a spooled report only; otherwise only
    // its facts are, once told, for a failure told after them.
    if (m_spool) {
        m_current = {};
        m_currentOpen = true;
    }
}

void SearchReport::fileRead(qsizetype index, const ReadFacts &facts)
{
    if (index != m_index)
        return;
    if (facts.notRead != ReadFacts::NotRead::No) {
        ++m_notRead;
    } else {
        ++m_read;
        m_cards += facts.cards;
        m_bytes += facts.bytes;
    }
    if (facts.hasProblems()) {
        ++m_withProblems;
        m_counted = true;
    }
    m_current.facts = facts;
    m_factsTold = true;
    if ((m_keepEveryFile && !m_spool) || facts.isNoteworthy()) {
        m_files.append({m_file.fullPath(), facts, {}, false});
        m_kept = true;
    }
}

void SearchReport::fileFailed(qsizetype index, FileFailure kind, const QString &description)
{
    if (index != m_index)
        return;
    if (!m_kept) {
        // What was read of the file before its search failed stays with it.
        m_files.append({m_file.fullPath(), m_factsTold ? m_current.facts : ReadFacts(), {}, false});
        if (kind == FileFailure::Read) {
            m_files.last().facts.notRead = ReadFacts::NotRead::Unreadable;
            ++m_notRead;
        }
        m_kept = true;
    }
    File &file = m_files.last();
    file.failure = description;
    file.searchFailed = kind == FileFailure::Search;
    if (!std::exchange(m_counted, true))
        ++m_withProblems;
    m_current.facts = file.facts;
    m_current.failure = file.failure;
    m_current.searchFailed = file.searchFailed;
}

void SearchReport::finish(qsizetype listed, qsizetype done, bool stopped, bool insideFile,
                          const QString &next)
{
    spoolCurrent();
    m_seconds = double(m_clock.nsecsElapsed()) / 1e9;
    m_listed = listed;
    m_done = done;
    m_stopped = stopped;
    m_insideFile = stopped && insideFile;
    m_stoppedAt = stopped ? next : QString();
}

QString SearchReport::problemName(ReadFacts::Problem problem)
{
    using P = ReadFacts::Problem;
    switch (problem) {
    case P::UnclosedCard:
        return u"unclosed card"_s;
    case P::NestedCard:
        return u"nested card"_s;
    case P::GluedCards:
        return u"glued cards"_s;
    case P::LinesOutside:
        return u"lines outside cards"_s;
    case P::InvalidQuotedPrintable:
        return u"invalid quoted-printable"_s;
    case P::InvalidBase64:
        return u"invalid base64"_s;
    case P::UnknownCharset:
        return u"unknown charset"_s;
    case P::NoCard:
        return u"no card"_s;
    }
    return {};
}

QString SearchReport::notReadName(ReadFacts::NotRead reason)
{
    using N = ReadFacts::NotRead;
    switch (reason) {
    case N::No:
        return {};
    case N::Missing:
        return u"missing"_s;
    case N::Unreadable:
        return u"unreadable"_s;
    case N::Folder:
        return u"folder"_s;
    case N::TooLarge:
        return u"too large"_s;
    }
    return {};
}

QString SearchReport::charsetWayName(ReadFacts::CharsetWay way)
{
    using W = ReadFacts::CharsetWay;
    switch (way) {
    case W::None:
        return {};
    case W::Utf8:
        return u"utf-8 throughout"_s;
    case W::Mark:
        return u"byte-order mark"_s;
    case W::Utf16Zeros:
        return u"utf-16 zero bytes"_s;
    case W::Declared:
        return u"declared charset"_s;
    case W::Detected:
        return u"detected"_s;
    case W::Default:
        return u"windows-1252 default"_s;
    }
    return {};
}

QString SearchReport::foundText(const File &file)
{
    QStringList found;
    if (file.facts.notRead != ReadFacts::NotRead::No)
        found.append(u"not read ("_s + notReadName(file.facts.notRead) + u')');
    if (file.searchFailed)
        found.append(u"search failed"_s);
    if (file.facts.changedWhileRead)
        found.append(u"changed while read"_s);
    for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
        const qint64 count = file.facts.problems[k].count;
        if (count == 1)
            found.append(problemName(ReadFacts::Problem(k)));
        else if (count > 1)
            found.append(u"%1 × %2"_s.arg(QLocale().toString(count),
                                           problemName(ReadFacts::Problem(k))));
    }
    return found.join(u", "_s);
}

namespace {

QString jsonName(const QString &name)
{
    QString key = name;
    return key.replace(u' ', u'_').replace(u'-', u'_');
}

/// Writes the report's JSON as it goes, into bytes it is given: large reports (every
/// file, with --hash) are written without a document tree in between, and each file's
/// entry straight into the spool. Many small pieces are appended, each without the checks
/// a QByteArray makes on every insert.
class JsonWriter
{
public:
    explicit JsonWriter(std::string &into) : json(into) {}

    std::string &json;

    void key(const char *name)
    {
        if (!m_first)
            json += ", ";
        m_first = false;
        json += '"';
        json += name;
        json += "\": ";
    }
    void open(char bracket)
    {
        json += bracket;
        m_first = true;
    }
    void close(char bracket)
    {
        json += bracket;
        m_first = false;
    }
    void item()
    {
        if (!m_first)
            json += ",\n  ";
        m_first = false;
    }
    void string(QStringView text)
    {
        json += '"';
        // Most texts need no escape: they go in one piece, ASCII without a conversion.
        bool ascii = true;
        const bool plain = std::none_of(text.cbegin(), text.cend(), [&ascii](QChar c) {
            ascii = ascii && c.unicode() < 0x80;
            return c.unicode() < 0x20 || c == u'"' || c == u'\\' || c.isSurrogate();
        });
        if (plain && ascii) {
            const std::size_t at = json.size();
            json.resize(at + std::size_t(text.size()));
            std::transform(text.cbegin(), text.cend(), json.begin() + qsizetype(at),
                           [](QChar c) { return char(c.unicode()); });
            json += '"';
            return;
        }
        if (plain) {
            append(text.toUtf8());
            json += '"';
            return;
        }
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size()
                && QChar::isLowSurrogate(text[i + 1].unicode());
            if (c == u'"' || c == u'\\') {
                json += '\\';
                json += char(c);
            } else if (c < 0x20 || (QChar::isSurrogate(c) && !pair)) {
                // Control characters, and the halves of a pair that a name not in
                // UTF-8 leaves alone, as escapes.
                json += "\\u";
                append(QByteArray::number(c, 16).rightJustified(4, '0'));
            } else if (c < 0x80) {
                json += char(c);
            } else {
                append(text.sliced(i, pair ? 2 : 1).toUtf8());
                i += pair ? 1 : 0;
            }
        }
        json += '"';
    }
    void stringOrNull(QStringView text)
    {
        if (text.isEmpty())
            json += "null";
        else
            string(text);
    }
    void number(qint64 value)
    {
        char digits[24];
        json.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    /// A text known to need no escape (a name of the report's own).
    void ascii(const QByteArray &text)
    {
        json += '"';
        append(text);
        json += '"';
    }
    void digest(const FileDigest &digest)
    {
        if (digest.isEmpty()) {
            json += "null";
            return;
        }
        const std::size_t at = json.size();
        json.resize(at + digest.bytes.size() * 2 + 2);
        json[at] = '"';
        digest.writeHex(json.data() + at + 1);
        json.back() = '"';
    }
    void boolean(bool value) { json += value ? "true" : "false"; }
    void append(QByteArrayView bytes) { json.append(bytes.data(), std::size_t(bytes.size())); }

private:
    bool m_first = true;
};

/// The names of the facts as the JSON writes them, made once.
struct JsonNames
{
    std::array<QByteArray, ReadFacts::kProblemKinds> problems;
    std::array<QByteArray, 7> ways;
};

const JsonNames &jsonNames()
{
    static const JsonNames names = [] {
        JsonNames made;
        for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k)
            made.problems[k] = jsonName(SearchReport::problemName(ReadFacts::Problem(k))).toLatin1();
        for (std::size_t k = 0; k < made.ways.size(); ++k)
            made.ways[k] = jsonName(SearchReport::charsetWayName(ReadFacts::CharsetWay(k))).toLatin1();
        return made;
    }();
    return names;
}

/// One file's entry of the "files" array, after the separator from the one before,
/// appended to into.
void fileJson(const SearchReport::File &file, bool first, std::string &into)
{
    const JsonNames &names = jsonNames();
    JsonWriter out(into);
    if (!first)
        out.json += ",\n  ";
    out.open('{');
    out.key("file");
    out.string(file.path);
    const ReadFacts &facts = file.facts;
    const bool read = facts.notRead == ReadFacts::NotRead::No;
    out.key("read");
    out.boolean(read);
    out.key("not_read");
    out.stringOrNull(read ? QString() : jsonName(SearchReport::notReadName(facts.notRead)));
    out.key("reason");
    out.stringOrNull(file.failure);
    out.key("search_failed");
    out.boolean(file.searchFailed);
    out.key("bytes");
    out.number(facts.bytes);
    out.key("cards");
    out.number(facts.cards);
    out.key("charset");
    out.stringOrNull(!read ? QString()
                     : facts.charset.isEmpty() ? u"UTF-8"_s
                                               : QString::fromLatin1(facts.charset));
    out.key("charset_decided_by");
    if (read && facts.charsetWay != ReadFacts::CharsetWay::None)
        out.ascii(names.ways[std::size_t(facts.charsetWay)]);
    else
        out.json += "null";
    out.key("detector");
    out.stringOrNull(QString::fromLatin1(facts.detector));
    out.key("changed_while_read");
    out.boolean(facts.changedWhileRead);
    out.key("sha256");
    out.digest(facts.sha256);
    out.key("problems");
    out.open('[');
    for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
        const ReadFacts::Tally &tally = facts.problems[k];
        if (tally.count == 0)
            continue;
        out.item();
        out.open('{');
        out.key("kind");
        out.ascii(names.problems[k]);
        out.key("count");
        out.number(tally.count);
        out.key("line");
        if (tally.first > 0)
            out.number(tally.first);
        else
            out.json += "null";
        out.close('}');
    }
    out.close(']');
    out.close('}');
}

/// Pieces of the JSON are handed on at about this size.
constexpr qsizetype kJsonPiece = qsizetype(1) << 20;

} // namespace

/// The entries of the "files" array, written out as each file is done: in memory up to
/// a size, then in a temporary file, read back when the report is written.
class SearchReport::Spool
{
public:
    explicit Spool(qsizetype after) : m_after(after) {}

    /// Writes the file's entry: straight into the buffer, whose room is made once and
    /// kept between flushes.
    void append(const File &file)
    {
        const bool first = m_entries++ == 0;
        if (!m_problem.isEmpty())
            return;
        const auto room = std::size_t(qMin(m_after, kJsonPiece * 8) + kJsonPiece);
        if (m_buffer.capacity() < room)
            m_buffer.reserve(room);
        fileJson(file, first, m_buffer);
        if (qsizetype(m_buffer.size()) > m_after)
            flush();
    }

    bool writeTo(const std::function<bool(QByteArrayView)> &write, QString *problem)
    {
        if (m_file && m_problem.isEmpty()) {
            if (!m_file->flush() || !m_file->seek(0)) {
                lose();
            } else {
                // Read back through one buffer, made once.
                const std::unique_ptr<char[]> piece(new char[std::size_t(kJsonPiece)]);
                for (;;) {
                    const qint64 got = m_file->read(piece.get(), kJsonPiece);
                    if (got <= 0)
                        break;
                    if (!write(QByteArrayView(piece.get(), got)))
                        return false;
                }
                if (m_file->error() != QFileDevice::NoError)
                    lose();
            }
        }
        if (!m_problem.isEmpty()) {
            if (problem)
                *problem = m_problem;
            return false;
        }
        return write(QByteArrayView(m_buffer.data(), qsizetype(m_buffer.size())));
    }

private:
    void flush()
    {
        if (!m_file) {
            m_file = std::make_unique<QTemporaryFile>(QDir::tempPath()
                                                      + u"/quillory-report-XXXXXX"_s);
            if (!m_file->open())
                return lose();
        }
        if (m_file->write(m_buffer.data(), qint64(m_buffer.size())) != qint64(m_buffer.size()))
            return lose();
        m_buffer.clear(); // its room is kept for the next entries
    }

    void lose()
    {
        m_problem = u"the list of files could not be kept in the temporary folder "_s
            + QDir::toNativeSeparators(QDir::tempPath()) + u": "_s + m_file->errorString();
        m_buffer = std::string();
        m_file.reset();
    }

    const qsizetype m_after;
    qsizetype m_entries = 0;
    std::string m_buffer;
    std::unique_ptr<QTemporaryFile> m_file;
    QString m_problem;
};

void SearchReport::spoolCurrent()
{
    if (!std::exchange(m_currentOpen, false))
        return;
    m_current.path = m_file.fullPath();
    m_spool->append(m_current);
}

QByteArray SearchReport::toJson() const
{
    QByteArray json;
    writeJson(
        [&json](QByteArrayView piece) {
            json += piece;
            return true;
        },
        nullptr);
    return json;
}

bool SearchReport::writeJson(const std::function<bool(QByteArrayView)> &write,
                             QString *problem) const
{
    std::string json;
    JsonWriter out(json);
    const auto writeOut
        = [&json, &write] { return write(QByteArrayView(json.data(), qsizetype(json.size()))); };
    out.open('{');
    out.key("files_listed");
    out.number(m_listed);
    out.key("files_read");
    out.number(m_read);
    out.key("files_not_read");
    out.number(m_notRead);
    out.key("files_with_problems");
    out.number(m_withProblems);
    out.key("cards");
    out.number(m_cards);
    out.key("rows");
    out.number(m_rows);
    out.key("bytes_read");
    out.number(m_bytes);
    out.key("seconds");
    out.append(QByteArray::number(m_seconds, 'f', 3));
    out.key("stopped");
    out.boolean(m_stopped);
    out.key("stopped_at");
    if (m_stopped) {
        out.open('{');
        out.key("file");
        out.stringOrNull(m_stoppedAt);
        out.key("files_done");
        out.number(m_done);
        out.key("inside_file");
        out.boolean(m_insideFile);
        out.close('}');
    } else {
        out.json += "null";
    }
    out.key("files");
    out.json += '[';
    if (m_spool) {
        if (!writeOut() || !m_spool->writeTo(write, problem))
            return false;
        json.clear();
    } else {
        for (const File &file : m_files) {
            fileJson(file, &file == &m_files.front(), json);
            if (qsizetype(json.size()) >= kJsonPiece) {
                if (!writeOut())
                    return false;
                json.clear();
            }
        }
    }
    json += "]}\n";
    return writeOut();
}

QString SearchReport::summary() const
{
    const QLocale locale;
    QString text = u"%1 of %2 files read, %3 not read; %4 cards, %5 rows, %6 bytes in %7 s."_s.arg(
        locale.toString(m_read), locale.toString(m_listed), locale.toString(m_notRead),
        locale.toString(m_cards), locale.toString(m_rows), locale.toString(m_bytes),
        locale.toString(m_seconds, 'f', 2));
    text += u" %1 files with problems."_s.arg(locale.toString(m_withProblems));
    if (m_stopped)
        text += m_insideFile ? u" Stopped inside a file, after %1 files."_s.arg(locale.toString(m_done))
                             : u" Stopped after %1 files."_s.arg(locale.toString(m_done));
    return text;
}
