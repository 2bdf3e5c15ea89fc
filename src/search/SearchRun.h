#pragma once

#include "card/CardBytes.h"
#include "results/ResultRow.h"
#include "search/SearchCriteria.h"

#include <QList>
#include <QStringList>

class Guard;

/// What a search run needs from the program that drives it (the window, the
/// command-line tool).
class SearchHost
{
public:
    virtual ~SearchHost() = default;

    /// The criteria as they stand now; read afresh for every file.
    virtual SearchCriteria currentCriteria() = 0;
    /// Progress from 0 to 100 and the text that goes with it.
    virtual void showProgress(double percent, const QString &text) = 0;
    /// Lets pending window events run; a stop request may arrive here.
    virtual void processEvents() = 0;
    /// Shows the busy pointer again for the file in hand.
    virtual void markBusy() = 0;
    /// Rows as they are found, in order: the rows of a card or of several at a time.
    virtual void addRows(QList<ResultRow> &&rows) = 0;
    /// The bytes of the run's next file, which is path; throws Failure when it cannot
    /// be read. A host may read ahead, in the run's order. Not asked when the host
    /// stays live (then the run reads the file itself).
    virtual CardBytes readFile(const QString &path) { return readCardFile(path); }
    /// How many threads may parse one large file at once, in parts.
    virtual int parseThreads() const { return 1; }
    /// True when events must keep running inside one large file, as in the window: such
    /// a file is then read and searched on a second thread while this thread lets events
    /// run about every 20 ms and hands the rows on as they come, and a stop request
    /// ends the file where it is.
    virtual bool staysLive() const { return false; }
};

/// One run over a file list, as it stood when the run was made: each entry is
/// read once, card by card, and compared with the current criteria.
class SearchRun final
{
public:
    explicit SearchRun(QStringList files);

    /// Walks the files; a file that cannot be read is reported through the guard at
    /// step 142 and adds no row. Returns true when the run reached its end, false
    /// when it was stopped.
    bool run(SearchHost &host, Guard &guard);

    /// Takes effect before the next file, or inside a large file of a host that stays
    /// live.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    bool isRunning() const { return m_running; }

    const QStringList &files() const { return m_files; }
    /// How many files the last run went through to their end (a file it could not read
    /// included); less than files().size() after a stop.
    qsizetype filesDone() const { return m_filesDone; }

private:
    QStringList m_files;
    qsizetype m_filesDone = 0;
    bool m_stopRequested = false;
    bool m_running = false;
};
