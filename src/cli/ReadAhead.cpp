#include "cli/ReadAhead.h"

namespace {

// Enough to keep both threads busy, little enough to bound the memory held.
constexpr std::size_t kMaxFilesAhead = 64;
constexpr qsizetype kMaxBytesAhead = qsizetype(64) << 20;

} // namespace

ReadAhead::ReadAhead(QStringList files)
    : m_files(std::move(files)), m_reader([this] { readAll(); })
{}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_reader.join();
}

CardBytes ReadAhead::next(const QString &path)
{
    // A caller that asks out of order is served directly.
    if (m_taken >= m_files.size() || m_files.at(m_taken) != path)
        return readCardFile(path);
    ++m_taken;
    Item item;
    bool wakeReader = false;
    {
        std::unique_lock lock(m_mutex);
        if (m_ready.empty()) {
            m_searchWaiting = true;
            m_changed.wait(lock, [&] { return !m_ready.empty(); });
            m_searchWaiting = false;
        }
        item = std::move(m_ready.front());
        m_ready.pop_front();
        m_readyBytes -= item.bytes.bytes.size();
        wakeReader = m_readerWaiting;
    }
    // Each side wakes the other only when it is waiting: no system call per file.
    if (wakeReader)
        m_changed.notify_all();
    if (item.failure)
        std::rethrow_exception(item.failure);
    return std::move(item.bytes);
}

void ReadAhead::readAll()
{
    for (const QString &path : m_files) {
        {
            std::unique_lock lock(m_mutex);
            const auto canRead = [&] {
                return m_stopping
                    || (m_ready.size() < kMaxFilesAhead && m_readyBytes < kMaxBytesAhead);
            };
            if (!canRead()) {
                m_readerWaiting = true;
                m_changed.wait(lock, canRead);
                m_readerWaiting = false;
            }
            if (m_stopping)
                return;
        }
        Item item;
        try {
            item.bytes = readCardFile(path);
        } catch (...) {
            item.failure = std::current_exception();
        }
        bool wakeSearch = false;
        {
            const std::lock_guard lock(m_mutex);
            m_readyBytes += item.bytes.bytes.size();
            m_ready.push_back(std::move(item));
            wakeSearch = m_searchWaiting;
        }
        if (wakeSearch)
            m_changed.notify_all();
    }
}
