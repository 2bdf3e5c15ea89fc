#include "search/SearchSession.h"

#include "filelist/AddFiles.h"
#include "filelist/PathRules.h"

#include <QLocale>

using namespace Qt::StringLiterals;

SearchSession::SearchSession() = default;

SearchSession::~SearchSession() = default;

QString SearchSession::textRefusal(bool searchForThis, const QString &text)
{
    return searchForThis && isBlank(text) ? u"You forgot to input search text"_s : QString();
}

QString SearchSession::filesRefusal(qsizetype files)
{
    return files == 0 ? u"No files added."_s : QString();
}

SearchSession::Press SearchSession::press() const
{
    if (!m_searching)
        return Press::Start;
    return m_stopping ? Press::Ignore : Press::Stop;
}

void SearchSession::start(const FileList &files, const SearchRunOptions &options)
{
    m_files = files;
    m_run = std::make_unique<SearchRun>(options, files);
    m_filesDone = 0;
    m_stoppedInsideFile = false;
    m_searching = true;
    m_stopping = false;
    m_completed = false;
    m_ran = false;
}

bool SearchSession::run(SearchListener &listener, std::function<SearchCriteria()> source)
{
    if (!m_run)
        return false;
    m_run->setCriteriaSource(std::move(source));
    m_completed = m_run->run(listener);
    m_ran = true;
    m_stopping = !m_completed; // however it was stopped, it winds down until finish
    m_filesDone = m_run->filesDone();
    m_stoppedInsideFile = m_run->stoppedInsideFile() && m_filesDone < m_files.size();
    m_run.reset();
    return m_completed;
}

void SearchSession::stop()
{
    if (!m_searching)
        return;
    m_stopping = true;
    if (m_run)
        m_run->requestStop();
}

void SearchSession::finish()
{
    m_run.reset();
    m_searching = false;
    m_stopping = false;
}

QString SearchSession::stoppedText() const
{
    if (!m_ran || m_completed)
        return {};
    const QString after = u"after %1 of %2 files"_s.arg(QLocale().toString(m_filesDone),
                                                        QLocale().toString(m_files.size()));
    if (m_stoppedInsideFile)
        return u"Stopped in the middle of %1, %2"_s.arg(
            GetFileNameFromPath(m_files.at(m_filesDone).fullPath()), after);
    return u"Stopped "_s + after;
}

QString SearchSession::doneText() const
{
    return m_ran && m_completed ? u"Done."_s : QString();
}
