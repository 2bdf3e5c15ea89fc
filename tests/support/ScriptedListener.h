#pragma once

#include "search/Duplicates.h"
#include "search/SearchRun.h"

#include <QList>
#include <QStringList>
#include <QTest>

#include <functional>

/// A failed file as the run told it.
struct FailedFile
{
    qsizetype index;
    FileFailure kind;
    QString description;
};

/// A listener whose criteria a test can change between files, from inside the run.
class ScriptedListener final : public SearchListener
{
public:
    SearchCriteria criteria;
    int threads = 1;
    bool live = false;
    QList<ResultRow> found;
    QStringList started; // the files, as they were started
    QList<FailedFile> failures;
    int eventTurns = 0; // files started, and waits inside a file
    int batches = 0;
    qsizetype filesDone = 0;
    SearchRun *run = nullptr; // while search runs
    std::function<void(int turn)> onEvents;
    QList<double> fileDone; // told while a live host waits inside a file
    DuplicateFinder duplicates; // the keys of the files, when the criteria ask for them

    /// Runs a search of files that reads the criteria afresh for every file.
    bool search(const QStringList &files)
    {
        SearchRun searchRun({threads, live, false}, files);
        searchRun.setCriteriaSource([this] { return criteria; });
        run = &searchRun;
        const bool completed = searchRun.run(*this);
        run = nullptr;
        filesDone = searchRun.filesDone();
        return completed;
    }

    void fileStarted(qsizetype index, const FileRef &file) override
    {
        QCOMPARE(index, started.size());
        started.append(file.fullPath());
        turn();
    }
    void stillSearching(double done) override
    {
        fileDone.append(done);
        turn();
    }
    bool rows(QList<ResultRow> &&batch) override
    {
        ++batches;
        found += batch;
        return true;
    }
    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        failures.append({index, kind, description});
    }
    void duplicateKeys(qsizetype index, FileDuplicateKeys &&keys) override
    {
        duplicates.addFile(started.at(index), std::move(keys));
    }

private:
    void turn()
    {
        ++eventTurns;
        if (onEvents)
            onEvents(eventTurns);
    }
};
