#include "search/SearchReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

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

SearchReport::SearchReport(bool keepEveryFile) : m_keepEveryFile(keepEveryFile)
{
    m_clock.start();
}

void SearchReport::fileStarted(qsizetype index, const FileRef &file)
{
    m_index = index;
    m_file = file;
    m_kept = false;
    m_counted = false;
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
    if (m_keepEveryFile || facts.isNoteworthy()) {
        m_files.append({m_file.fullPath(), facts, {}, false});
        m_kept = true;
    }
}

void SearchReport::fileFailed(qsizetype index, FileFailure kind, const QString &description)
{
    if (index != m_index)
        return;
    if (!m_kept) {
        m_files.append({m_file.fullPath(), {}, {}, false});
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
}

void SearchReport::finish(qsizetype listed, qsizetype done, bool stopped, bool insideFile,
                          const QString &next)
{
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

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QByteArray SearchReport::toJson() const
{
    QJsonArray files;
    for (const File &file : m_files) {
        const ReadFacts &facts = file.facts;
        const bool read = facts.notRead == ReadFacts::NotRead::No;
        QJsonArray problems;
        for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
            const ReadFacts::Tally &tally = facts.problems[k];
            if (tally.count > 0)
                problems.append(QJsonObject{
                    {u"kind"_s, jsonName(problemName(ReadFacts::Problem(k)))},
                    {u"count"_s, tally.count},
                    {u"line"_s, tally.first > 0 ? QJsonValue(tally.first) : QJsonValue()}});
        }
        files.append(QJsonObject{
            {u"file"_s, file.path},
            {u"read"_s, read},
            {u"not_read"_s, read ? QJsonValue() : QJsonValue(jsonName(notReadName(facts.notRead)))},
            {u"reason"_s, orNull(file.failure)},
            {u"search_failed"_s, file.searchFailed},
            {u"bytes"_s, facts.bytes},
            {u"cards"_s, facts.cards},
            {u"charset"_s, read ? QJsonValue(facts.charset.isEmpty() ? u"UTF-8"_s
                                                                     : QString::fromLatin1(facts.charset))
                                : QJsonValue()},
            {u"charset_decided_by"_s,
             read ? QJsonValue(jsonName(charsetWayName(facts.charsetWay))) : QJsonValue()},
            {u"detector"_s, orNull(QString::fromLatin1(facts.detector))},
            {u"changed_while_read"_s, facts.changedWhileRead},
            {u"sha256"_s, facts.sha256.isEmpty() ? QJsonValue()
                                                 : QJsonValue(QString::fromLatin1(facts.sha256.toHex()))},
            {u"problems"_s, problems},
        });
    }
    QJsonValue stoppedAt;
    if (m_stopped)
        stoppedAt = QJsonObject{{u"file"_s, orNull(m_stoppedAt)},
                                {u"files_done"_s, m_done},
                                {u"inside_file"_s, m_insideFile}};
    const QJsonObject report{
        {u"files_listed"_s, m_listed},
        {u"files_read"_s, m_read},
        {u"files_not_read"_s, m_notRead},
        {u"files_with_problems"_s, m_withProblems},
        {u"cards"_s, m_cards},
        {u"rows"_s, m_rows},
        {u"bytes_read"_s, m_bytes},
        {u"seconds"_s, m_seconds},
        {u"stopped"_s, m_stopped},
        {u"stopped_at"_s, stoppedAt},
        {u"files"_s, files},
    };
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
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
