#pragma once

#include "card/CardBytes.h"

#include <QStringList>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

/// Reads the files of a run on a second thread, ahead of the search, so that reading
/// and searching overlap; files can be added while the list is still being made, and
/// reading starts at once. Files are handed out in the order they were added. The
/// threads hand files over in batches: each side wakes the other only when a batch
/// is ready or room is made, not once per file.
class ReadAhead final
{
public:
    ReadAhead();
    ~ReadAhead();

    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    void add(const QStringList &files);
    /// No more files will be added.
    void finishAdding();

    /// The next file's bytes, which must be path; rethrows the read's failure. A path
    /// asked for out of order is read directly.
    CardBytes next(const QString &path);

private:
    struct Item
    {
        CardBytes bytes;
        std::exception_ptr failure;
    };

    void readAll();
    bool batchReady() const;

    // On the search's thread.
    QStringList m_order;       // every file added
    qsizetype m_taken = 0;     // files handed out
    std::deque<Item> m_taking; // taken from the reader, not yet handed out

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QString> m_toRead;
    bool m_addingDone = false;
    std::deque<Item> m_ready;
    qsizetype m_readyBytes = 0;
    bool m_stopping = false;
    bool m_searchWaiting = false;
    bool m_readerWaiting = false;
    std::thread m_reader; // last: starts once the rest is made
};
