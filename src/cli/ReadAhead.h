#pragma once

#include "card/CardBytes.h"

#include <QStringList>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

/// Reads the files of a run on a second thread, a few files ahead of the search,
/// so that reading and searching overlap. Files are handed out in list order.
class ReadAhead final
{
public:
    explicit ReadAhead(QStringList files);
    ~ReadAhead();

    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    /// The next file's bytes, which must be path; rethrows the read's failure.
    CardBytes next(const QString &path);

private:
    struct Item
    {
        CardBytes bytes;
        std::exception_ptr failure;
    };

    void readAll();

    const QStringList m_files;
    qsizetype m_taken = 0; // files handed out, on the search's thread
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_ready;
    qsizetype m_readyBytes = 0;
    bool m_stopping = false;
    bool m_searchWaiting = false;
    bool m_readerWaiting = false;
    std::thread m_reader; // last: starts once the rest is made
};
