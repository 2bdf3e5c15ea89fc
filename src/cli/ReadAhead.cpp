#include "cli/ReadAhead.h"

namespace {

// Bounds the memory held: the bytes read ahead, and a share for each file's upkeep.
constexpr qsizetype kMaxBytesAhead = qsizetype(64) << 20;
constexpr qsizetype kUpkeepBytes = 128;
// A waiting search is woken when this much is ready.
constexpr std::size_t kBatchFiles = 32;
constexpr qsizetype kBatchBytes = qsizetype(1) << 20;

} // namespace

ReadAhead::ReadAhead() : m_reader([this] { readAll(); }) {}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_reader.join();
}

void ReadAhead::add(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_order += files;
    bool wakeReader = false;
    {
        const std::lock_guard lock(m_mutex);
        m_toRead.insert(m_toRead.end(), files.cbegin(), files.cend());
        wakeReader = m_readerWaiting;
    }
    if (wakeReader)
        m_changed.notify_all();
}

void ReadAhead::finishAdding()
{
    {
        const std::lock_guard lock(m_mutex);
        m_addingDone = true;
    }
    m_changed.notify_all();
}

bool ReadAhead::batchReady() const
{
    // With nothing left to read for now, what is ready is all there will be.
    return m_toRead.empty() || m_ready.size() >= kBatchFiles || m_readyBytes >= kBatchBytes;
}

CardBytes ReadAhead::next(const QString &path)
{
    if (m_taken >= m_order.size() || m_order.at(m_taken) != path)
        return readCardFile(path);
    ++m_taken;
    if (m_taking.empty()) {
        bool wakeReader = false;
        {
            std::unique_lock lock(m_mutex);
            if (m_ready.empty() || !batchReady()) {
                m_searchWaiting = true;
                m_changed.wait(lock, [&] { return !m_ready.empty() && batchReady(); });
                m_searchWaiting = false;
            }
            // Everything ready is taken at once: the reader has room again.
            m_taking.swap(m_ready);
            m_readyBytes = 0;
            wakeReader = m_readerWaiting;
        }
        if (wakeReader)
            m_changed.notify_all();
    }
    Item item = std::move(m_taking.front());
    m_taking.pop_front();
    if (item.failure)
        std::rethrow_exception(item.failure);
    return std::move(item.bytes);
}

void ReadAhead::readAll()
{
    while (true) {
        QString path;
        {
            std::unique_lock lock(m_mutex);
            // Waits for a file to read and for room to hold it.
            const auto canRead = [&] {
                return m_stopping || (m_addingDone && m_toRead.empty())
                    || (!m_toRead.empty() && m_readyBytes < kMaxBytesAhead);
            };
            if (!canRead()) {
                m_readerWaiting = true;
                m_changed.wait(lock, canRead);
                m_readerWaiting = false;
            }
            if (m_stopping || m_toRead.empty())
                return;
            path = std::move(m_toRead.front());
            m_toRead.pop_front();
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
            m_readyBytes += item.bytes.bytes.size() + kUpkeepBytes;
            m_ready.push_back(std::move(item));
            wakeSearch = m_searchWaiting && batchReady();
        }
        if (wakeSearch)
            m_changed.notify_all();
    }
}
