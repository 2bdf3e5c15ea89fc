#include "results/CardExport.h"

#include "base/Failure.h"
#include "base/NativePath.h"
#include "results/FileCardSaver.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"

#include <QSaveFile>

#include <algorithm>
#include <limits>

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
    const FileCardSaver::Write write = [&](QByteArrayView bytes) {
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
        FileCardSaver(cards, runs.at(r).first, last, saved, write, pump)
            .save(cards.files().at(fileIndex));
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
