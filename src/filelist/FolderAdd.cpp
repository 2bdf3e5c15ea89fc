#include "filelist/FolderAdd.h"

#include "filelist/AddFolder.h"

FolderAdd::FolderAdd(FolderAddSink sink, qint64 turnIntervalMs)
    : m_sink(std::move(sink)), m_interval(turnIntervalMs)
{
    m_clock.start();
}

void FolderAdd::scan(const QString &folder, const QString &extension)
{
    m_reading = folder;
    if (m_sink.progress)
        m_sink.progress(m_reading, m_found);
    FolderScanHooks hooks;
    hooks.report = m_sink.report;
    hooks.cancelled = m_sink.cancelled;
    hooks.folderUnreadable = m_sink.folderUnreadable;
    if (m_sink.turn)
        hooks.processEvents = [this] { takeTurn(); };
    if (m_sink.progress) {
        hooks.readingFolder = [this](const QString &path) {
            m_reading = path;
            m_sink.progress(m_reading, m_found);
        };
    }
    hooks.filesListed = [this](const QStringList &files) { listed(files); };
    if (m_sink.turn && m_sink.list) {
        hooks.folderFilesListed = [this](std::shared_ptr<const FolderFiles> files) {
            if (m_sink.cancelled && m_sink.cancelled())
                return;
            m_found += files->size();
            if (m_sink.progress)
                m_sink.progress(m_reading, m_found);
            m_pendingList.append(std::move(files));
        };
    } else if (m_sink.folderFiles && !m_sink.turn) {
        hooks.folderFilesListed = [this](std::shared_ptr<const FolderFiles> files) {
            m_found += files->size();
            m_sink.folderFiles(std::move(files));
        };
    }
    scanFolderFiles(folder, extension, hooks);
}

void FolderAdd::finish()
{
    handPending();
}

void FolderAdd::handPending()
{
    const bool cancelled = m_sink.cancelled && m_sink.cancelled();
    if (!m_pending.isEmpty() && !cancelled)
        m_sink.files(m_pending);
    m_pending.clear();
    if (!m_pendingList.isEmpty() && !cancelled)
        m_sink.list(m_pendingList);
    m_pendingList = {};
}

void FolderAdd::listed(const QStringList &files)
{
    if (m_sink.cancelled && m_sink.cancelled())
        return;
    m_found += files.size();
    if (m_sink.progress)
        m_sink.progress(m_reading, m_found);
    if (m_sink.turn && m_sink.list)
        m_pendingList.append(files);
    else if (m_sink.turn)
        m_pending += files;
    else
        m_sink.files(files);
}

void FolderAdd::takeTurn()
{
    if (m_clock.elapsed() < m_nextTurn)
        return;
    handPending();
    m_sink.turn();
    m_nextTurn = m_clock.elapsed() + m_interval;
}
