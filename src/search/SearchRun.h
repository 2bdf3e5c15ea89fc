#pragma once

#include "card/FileList.h"
#include "search/ResultRow.h"
#include "search/SearchCriteria.h"

#include <QList>
#include <QStringList>

#include <memory>

class Guard;
class SearchPipeline;

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
    /// How many threads may search files at once: workers that read and search files
    /// ahead of the run, and the parts of one large file. With 1 the run searches each
    /// file on its own thread, unless the host stays live.
    virtual int searchThreads() const { return 1; }
    /// True when events must keep running while a file is searched, as in the window:
    /// files are then always searched on workers while this thread turns events about
    /// every 20 ms and hands on the rows as they come, and a stop request ends the file
    /// where it is.
    virtual bool staysLive() const { return false; }
    /// False when the host shows no progress: the run then makes no progress text.
    virtual bool showsProgress() const { return true; }
    /// True when every file of the run was seen to exist when it was listed: one that
    /// is missing when it is read has vanished since, and is reported as unreadable.
    /// Otherwise a missing file reads as nothing.
    virtual bool missingFileFails() const { return false; }
};

/// One run over a file list, as it stood when the run was made: each entry is
/// read once, card by card, and compared with the current criteria.
class SearchRun final
{
public:
    explicit SearchRun(const QStringList &files = {});
    ~SearchRun();

    /// Starts searching the files on workers before run is called, with the host's
    /// criteria, so that files added while a list is being made are searched at once.
    void start(SearchHost &host);
    /// Adds files to the run, before run is called.
    void addFiles(const QStringList &files);
    /// Adds the files of a folder listed by name, before run is called.
    void addFiles(std::shared_ptr<const FolderFiles> files);

    /// Walks the files; a file that cannot be read is reported through the guard at
    /// step 142 and adds no row. Returns true when the run reached its end, false
    /// when it was stopped.
    bool run(SearchHost &host, Guard &guard);

    /// Takes effect before the next file, or inside a large file of a host that stays
    /// live.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    bool isRunning() const { return m_running; }

    const FileList &files() const { return m_files; }
    /// How many files the last run went through to their end (a file it could not read
    /// included); less than files().size() after a stop.
    qsizetype filesDone() const { return m_filesDone; }

private:
    static int workersFor(const SearchHost &host);

    FileList m_files;
    std::unique_ptr<SearchPipeline> m_pipeline; // started ahead of the run
    qsizetype m_filesDone = 0;
    bool m_stopRequested = false;
    bool m_running = false;
};
