#pragma once

#include "base/FileList.h"
#include "card/ReadFacts.h"
#include "search/SearchRun.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

/// The reading report of one search run: what was read, what could not be and why, and
/// what the files hold that a reader has to make a choice about. A listener hands it
/// what the run tells; it keeps counts for every file and the files with something to
/// say (every file when digests are asked for).
class SearchReport final
{
public:
    struct File
    {
        QString path;
        ReadFacts facts;
        QString failure; ///< why the file was not read, or its search failed
        bool searchFailed = false;

        bool hasProblems() const { return searchFailed || facts.hasProblems(); }
        /// The line of its first problem, 0 when none has a line.
        qint64 firstLine() const;
    };

    /// keepEveryFile keeps every file, not only those with something to say. With
    /// spoolAfter >= 0 as well, every file's entry is written out as its JSON as soon as
    /// the file is done, to a temporary file once more than spoolAfter bytes gather, and
    /// files() keeps only the files with something to say: the memory of a report of a
    /// million files then stays small.
    explicit SearchReport(bool keepEveryFile = false, qsizetype spoolAfter = -1);

    /// The calls of a SearchListener, passed on.
    void fileStarted(qsizetype index, const FileRef &file);
    void fileRead(qsizetype index, const ReadFacts &facts);
    void fileFailed(qsizetype index, FileFailure kind, const QString &description);
    void addRows(qsizetype rows) { m_rows += rows; }

    /// The run has ended: listed files were in its list, done of them gone through.
    /// stopped tells that it was stopped, inside the file after those done when
    /// insideFile; next is that file's path.
    void finish(qsizetype listed, qsizetype done, bool stopped, bool insideFile,
                const QString &next);

    qsizetype filesListed() const { return m_listed; }
    qsizetype filesRead() const { return m_read; }
    qsizetype filesNotRead() const { return m_notRead; }
    qsizetype filesWithProblems() const { return m_withProblems; }
    qint64 cards() const { return m_cards; }
    qint64 rows() const { return m_rows; }
    qint64 bytesRead() const { return m_bytes; }
    double seconds() const { return m_seconds; }
    bool stopped() const { return m_stopped; }
    bool stoppedInsideFile() const { return m_insideFile; }
    qsizetype filesDone() const { return m_done; }
    /// The file the run was stopped before or in; empty when it was not stopped there.
    const QString &stoppedAt() const { return m_stoppedAt; }
    const QList<File> &files() const { return m_files; }

    /// The report as one JSON object (see docs/report.schema.json), UTF-8.
    QByteArray toJson() const;
    /// The same JSON handed to write a piece at a time. False, with the reason in
    /// problem, when write refuses a piece or the entries written out are lost.
    bool writeJson(const std::function<bool(QByteArrayView)> &write, QString *problem) const;
    /// The summary in a sentence or two, for people.
    QString summary() const;

    /// Names of the facts as the JSON writes them (and, with spaces, people read them).
    static QString problemName(ReadFacts::Problem problem);
    static QString notReadName(ReadFacts::NotRead reason);
    static QString charsetWayName(ReadFacts::CharsetWay way);
    /// What was found in the file, in a line: its problems and counts.
    static QString foundText(const File &file);

private:
    class Spool;
    void spoolCurrent();

    const bool m_keepEveryFile;
    std::shared_ptr<Spool> m_spool; // every file's entry, written out; shared by copies
    File m_current; // the file told last, while its entry may still change
    bool m_currentOpen = false;
    QElapsedTimer m_clock;
    qsizetype m_index = -1;
    FileRef m_file;
    bool m_kept = false; // the current file is the last of m_files
    bool m_counted = false; // the current file is counted among those with problems
    bool m_factsTold = false; // m_current.facts are the current file's
    QList<File> m_files;
    qsizetype m_listed = 0;
    qsizetype m_read = 0;
    qsizetype m_notRead = 0;
    qsizetype m_withProblems = 0;
    qsizetype m_done = 0;
    qint64 m_cards = 0;
    qint64 m_rows = 0;
    qint64 m_bytes = 0;
    double m_seconds = 0;
    bool m_stopped = false;
    bool m_insideFile = false;
    QString m_stoppedAt;
};
