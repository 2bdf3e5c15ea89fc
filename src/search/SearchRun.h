#pragma once

#include "base/FileList.h"
#include "card/ReadFacts.h"
#include "search/DuplicateKeys.h"
#include "search/ResultRow.h"
#include "search/SearchCriteria.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <memory>

class SearchPipeline;

/// How a file of a run failed.
enum class FileFailure {
    Read, ///< the file could not be read
    Search, ///< it was read, but its search failed
};

/// What a search run tells the program that drives it, on the thread that runs it.
class SearchListener
{
public:
    virtual ~SearchListener() = default;

    /// The file at index of the run's list is next.
    virtual void fileStarted(qsizetype index, const FileRef &file) = 0;
    /// Rows as they are found, in order: the rows of a card or of several at a time.
    /// False stops the run before the next file.
    virtual bool rows(QList<ResultRow> &&rows) = 0;
    /// The file at index failed and adds no more rows; the run goes on.
    virtual void fileFailed(qsizetype index, FileFailure kind, const QString &description) = 0;
    /// In a run that stays live: the file in hand is still being searched, about every
    /// SearchPacing::kLiveWait; fileDone tells how far, from 0 to 1.
    virtual void stillSearching(double fileDone) { Q_UNUSED(fileDone); }
    /// When duplicates are looked for: the keys of the cards of the file at index, once
    /// it is done, in list order.
    virtual void duplicateKeys(qsizetype index, FileDuplicateKeys &&keys)
    {
        Q_UNUSED(index);
        Q_UNUSED(keys);
    }
    /// In a run that reads facts: what reading the file at index found, once it is done
    /// with (before fileFailed, when it failed).
    virtual void fileRead(qsizetype index, const ReadFacts &facts)
    {
        Q_UNUSED(index);
        Q_UNUSED(facts);
    }
};

/// How a run searches: the program's choice, fixed for the run.
struct SearchRunOptions
{
    /// How many threads may search files at once: workers that read and search files
    /// ahead of the run, and the parts of one large file. With 1 the run searches each
    /// file on its own thread, unless it stays live.
    int threads = 1;
    /// Events must keep running while a file is searched, as in the window: files are
    /// then always searched on workers while the run's thread tells the listener that
    /// the file is still being searched and hands on the rows as they come, and a stop
    /// request ends the file where it is.
    bool staysLive = false;
    /// Every file of the run was seen to exist when it was listed: one that is missing
    /// when it is read has vanished since, and is reported as unreadable. Otherwise a
    /// missing file reads as nothing.
    bool missingFileFails = false;
    /// Every file done with is told to SearchListener::fileRead, with what reading it found.
    bool readFacts = false;
    /// The facts hold each file's SHA-256 digest.
    bool hashFiles = false;
    /// Small files are read ahead from the start, not only once a read has waited for
    /// the disk: for the tests of the reading ahead.
    bool readAheadAlways = false;
};

/// The threads a search uses unless told otherwise: one per processor, at most 8.
int defaultSearchThreads();

/// One run over a file list, as it stood when the run was made: each entry is
/// read once, card by card, and compared with the criteria.
class SearchRun final
{
public:
    explicit SearchRun(const SearchRunOptions &options = {}, const FileList &files = {});
    ~SearchRun();

    /// The criteria of every file, unless a source is set.
    void setCriteria(SearchCriteria criteria) { m_criteria = std::move(criteria); }
    /// Reads the criteria afresh before every file; when they changed, the files are
    /// searched with the new ones from that file on.
    void setCriteriaSource(std::function<SearchCriteria()> source) { m_source = std::move(source); }

    /// Starts searching the files on workers before run is called, so that files added
    /// while a list is being made are searched at once.
    void start();
    /// Adds files to the run, before run is called.
    void addFiles(const QStringList &files);
    /// Adds the files of a folder listed by name, before run is called.
    void addFiles(std::shared_ptr<const FolderFiles> files);

    /// Walks the files, telling the listener. Returns true when the run reached its
    /// end, false when it was stopped.
    bool run(SearchListener &listener);

    /// Takes effect before the next file, or inside a large file of a run that stays
    /// live.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }

    const FileList &files() const { return m_files; }
    /// How many files the last run went through to their end (a file that failed
    /// included); less than files().size() after a stop.
    qsizetype filesDone() const { return m_filesDone; }
    /// The last run was stopped inside the file after those done, with part of it
    /// searched.
    bool stoppedInsideFile() const { return m_stoppedInsideFile; }

private:
    SearchCriteria currentCriteria() const { return m_source ? m_source() : m_criteria; }
    std::unique_ptr<SearchPipeline> makePipeline(const SearchCriteria &criteria,
                                                 qsizetype first) const;

    const SearchRunOptions m_options;
    FileList m_files;
    SearchCriteria m_criteria;
    std::function<SearchCriteria()> m_source;
    std::unique_ptr<SearchPipeline> m_pipeline; // started ahead of the run
    qsizetype m_filesDone = 0;
    bool m_stopRequested = false;
    bool m_stoppedInsideFile = false;
};
