#pragma once

#include "base/FileList.h"
#include "search/SearchRun.h"

#include <QString>

#include <functional>
#include <memory>

/// The searches of one program, one at a time: whether one is running, what refuses a
/// start, and what is said when a run ends.
class SearchSession final
{
public:
    /// What a press of the Start/Stop button does.
    enum class Press {
        Start, ///< no search is running
        Stop, ///< a search is running
        Ignore, ///< a stopped search is winding down: a start would run inside it
    };

    SearchSession();
    ~SearchSession();

    /// "You forgot to input search text" when the one text is searched and is blank;
    /// empty when that does not refuse a start.
    static QString textRefusal(bool searchForThis, const QString &text);
    /// "No files added." for an empty list; empty otherwise.
    static QString filesRefusal(qsizetype files);

    Press press() const;
    /// True from start to finish.
    bool isSearching() const { return m_searching; }

    /// A search of the files begins; it holds until finish.
    void start(const FileList &files, const SearchRunOptions &options);
    /// The files of the search begun last.
    const FileList &files() const { return m_files; }
    /// Runs the search begun, with the criteria read from source before every file.
    /// Returns true when it reached its end.
    bool run(SearchListener &listener, std::function<SearchCriteria()> source);
    /// Asks the running search to stop; it winds down until run returns.
    void stop();
    /// The search has ended and what it says has been said.
    void finish();

    /// After run: "Stopped after N of M files" for a stopped run, "Stopped in the middle
    /// of NAME, after N of M files" for one stopped inside a file; else empty.
    QString stoppedText() const;
    /// After run: "Done." for a run that reached its end, else empty.
    QString doneText() const;
    /// After run: the files it went through, and whether it stopped inside the next.
    qsizetype filesDone() const { return m_filesDone; }
    bool stoppedInsideFile() const { return m_stoppedInsideFile; }

private:
    FileList m_files;
    std::unique_ptr<SearchRun> m_run;
    qsizetype m_filesDone = 0;
    bool m_stoppedInsideFile = false;
    bool m_searching = false;
    bool m_stopping = false;
    bool m_ran = false; // the search begun last has run
    bool m_completed = false;
};
