#pragma once

#include "search/ResultRow.h"

#include <QList>

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class CardFile;
class FileBatchReader;
class FolderHandle;
struct CardBytes;
struct FileBytes;
struct FileDuplicateKeys;
struct FileRef;
struct ReadFacts;
struct SearchCriteria;

/// The search of one file with one set of criteria: reads the file, tests its bytes
/// against the search texts, parses it (a file large enough in parts at once) and hands
/// on the rows of its cards in card order. It holds nothing of one file, so several
/// threads may search files with it at once.
class FileSearch final
{
public:
    using RowSink = std::function<void(QList<ResultRow> &&)>;
    /// Runs part(k) for k from 0 to count - 1, on as many threads as are free, and
    /// returns when every part has run.
    using PartRunner
        = std::function<void(std::size_t count, const std::function<void(std::size_t)> &part)>;

    /// Rows are handed on in batches of at most this many.
    static constexpr qsizetype kRowBatch = 4096;

    /// How the search of one file failed, if it did.
    struct Failures
    {
        /// The file could not be read (a Failure naming it).
        std::exception_ptr readFailure;
        /// The file was read but its search failed.
        std::exception_ptr searchFailure;
    };

    /// How far the search of one file has come, told as it goes for a progress bar
    /// that another thread reads: the bytes of its text judged by the filter and then
    /// parsed, of those there are to go through. The filter's pass is the whole of the
    /// work until it finds that the file may hold a search text; the parse's bytes are
    /// then added to those judged.
    struct Progress
    {
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0}; // 0 until the file has been read

        /// From 0 to 1.
        double fraction() const
        {
            const qint64 all = total.load(std::memory_order_relaxed);
            const qint64 parsed = done.load(std::memory_order_relaxed);
            return all > 0 ? qBound(0.0, double(parsed) / double(all), 1.0) : 0.0;
        }
    };

    /// A file large enough is parsed in at most parts parts. With missingFails, a file
    /// that is missing when it is read is a read failure, not a file that reads as
    /// nothing.
    /// With hashFiles, the facts of a file (see run) hold its SHA-256 digest.
    FileSearch(const SearchCriteria &criteria, int parts, bool missingFails,
               bool hashFiles = false);
    ~FileSearch();

    FileSearch(const FileSearch &) = delete;
    FileSearch &operator=(const FileSearch &) = delete;

    /// True when these criteria search as this search's do.
    bool searchesAs(const SearchCriteria &criteria) const;

    /// Searches file, opened through folder, and hands its rows to rows as they are
    /// found. When cancel is set the read or parse ends at its next block or line, and
    /// the rows handed on are those of the cards read to their end, from the file's
    /// start on. runParts runs the parts of a large file. progress, when given, is
    /// told how far the search has come. keys, when given and the criteria find
    /// duplicates, receives the duplicate keys of the cards that take part. facts, when
    /// given, is told what reading the file found (see ReadFacts), also of a file that
    /// the search need not parse. With read, the file is not opened: its bytes and what
    /// reading it found are taken from there (see readAhead).
    Failures run(const FileRef &file, FolderHandle &folder, const RowSink &rows,
                 const std::atomic<bool> *cancel, const PartRunner &runParts,
                 Progress *progress = nullptr, FileDuplicateKeys *keys = nullptr,
                 ReadFacts *facts = nullptr, FileBytes *read = nullptr) const;

    /// Reads file as run would, into read, for a later run on another thread; with
    /// facts, read holds what reading it found. False, with nothing read, when the file
    /// holds more than maxBytes: run reads it then.
    bool readAhead(const FileRef &file, FolderHandle &folder, const std::atomic<bool> *cancel,
                   bool facts, qint64 maxBytes, FileBytes &read) const;

    /// Reads many files of a list at once, each into its place in read (as many as
    /// files) as readAhead would, or leaves it unset: it is then read as one by one.
    /// batch is the calling thread's own. True when reads waited for the disk.
    bool readBatch(std::span<const FileRef> files, FolderHandle &folder,
                   const std::atomic<bool> *cancel, bool facts, FileBatchReader &batch,
                   std::optional<FileBytes> *read) const;

private:
    struct Prepared;

    /// Searches a file larger than a block a block at a time. Sets readWholeInstead, having
    /// handed out nothing and left facts as they were, when the file is better read whole
    /// after all.
    Failures runInBlocks(CardFile &opened, const FileRef &file, const RowSink &rows,
                         const std::atomic<bool> *cancel, const PartRunner &runParts,
                         Progress *progress, FileDuplicateKeys *keys, ReadFacts *facts,
                         bool &readWholeInstead) const;
    /// Reads the opened file whole into text, its facts (and digest) into facts.
    void readWhole(CardFile &opened, const std::atomic<bool> *cancel, CardBytes &text,
                   ReadFacts *facts) const;
    /// Opens the file into opened and reads it whole; false, with the file left open,
    /// when it is larger than maxBytes (-1: any size).
    bool readFile(const FileRef &file, FolderHandle &folder, const std::atomic<bool> *cancel,
                  qint64 maxBytes, std::optional<CardFile> &opened, CardBytes &text,
                  quint64 &stamp, ReadFacts *facts, bool *waited = nullptr) const;

    std::unique_ptr<const Prepared> m_prepared;
    const int m_parts;
    const bool m_missingFails;
    const bool m_hashFiles;
};
