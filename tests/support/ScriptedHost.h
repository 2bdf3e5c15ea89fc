#pragma once

#include "search/SearchRun.h"

#include <QList>
#include <QStringList>

#include <functional>

/// A host whose criteria a test can change between files, from inside the run.
class ScriptedHost final : public SearchHost
{
public:
    SearchCriteria criteria;
    QList<ResultRow> rows;
    QList<double> percents;
    QStringList texts;
    int eventTurns = 0;
    int busyMarks = 0;
    int batches = 0;
    std::function<void(int turn)> onEvents;

    SearchCriteria currentCriteria() override { return criteria; }
    void showProgress(double percent, const QString &text) override
    {
        percents.append(percent);
        texts.append(text);
    }
    void processEvents() override
    {
        ++eventTurns;
        if (onEvents)
            onEvents(eventTurns);
    }
    void markBusy() override { ++busyMarks; }
    int searchThreads() const override { return threads; }
    bool staysLive() const override { return live; }
    int threads = 1;
    bool live = false;
    void addRows(QList<ResultRow> &&batch) override
    {
        ++batches;
        rows += batch;
    }
};
