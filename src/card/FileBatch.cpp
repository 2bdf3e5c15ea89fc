#include "card/FileBatch.h"

#include "card/CardFile.h"

#include <array>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// Three operations a file: open, read and close.
constexpr unsigned kOperations = 3;
constexpr unsigned kEntries = FileBatchReader::kMaxFiles * kOperations;
constexpr qsizetype kRoom = FileBatchReader::kMaxFileBytes + 1; // a larger file fills it

// As one by one: a FIFO put in a file's place neither blocks the open nor its read,
// which then fails rather than waits. Descriptors of the ring are not inherited.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

enum Operation : unsigned { Open, Read, Close };

} // namespace

struct FileBatchReader::Ring
{
    io_uring ring{};
    // Not cleared: the kernel writes each file's bytes into its part, and only those are
    // read back. A cleared megabyte would cost every search its pages at the start.
    std::unique_ptr<char[]> room = std::make_unique_for_overwrite<char[]>(kMaxFiles * kRoom);
};

FileBatchReader::FileBatchReader() = default;

FileBatchReader::~FileBatchReader()
{
    if (m_ring)
        io_uring_queue_exit(&m_ring->ring);
}

bool FileBatchReader::makeRing()
{
    auto ring = std::make_unique<Ring>();
    m_failed = true;
    // Every entry is submitted even when one fails early: each then has its completion.
    if (io_uring_queue_init(kEntries, &ring->ring, IORING_SETUP_SUBMIT_ALL) < 0)
        return false;
    if (io_uring_register_files_sparse(&ring->ring, kMaxFiles) < 0) {
        io_uring_queue_exit(&ring->ring);
        return false;
    }
    // An open or read that must wait for the disk runs on a worker of the kernel's:
    // as many as the batch has files, not the default of four per processor.
    std::array<unsigned, 2> workers{kMaxFiles, 0};
    io_uring_register_iowq_max_workers(&ring->ring, workers.data());
    m_ring = std::move(ring);
    m_failed = false;
    return true;
}

bool FileBatchReader::read(int folder, std::span<File> files)
{
    if (m_failed)
        return false;
    const auto count = unsigned(qMin<std::size_t>(files.size(), kMaxFiles));
    std::array<struct statx, kMaxFiles> status;
    std::array<std::array<int, kOperations>, kMaxFiles> results;
    std::array<bool, kMaxFiles> toRead{};
    bool any = false;
    for (unsigned k = 0; k < count; ++k) {
        File &file = files[k];
        file.read = false;
        results[k].fill(-ECANCELED);
        // The status comes first, as one by one: a file replaced after it then shows as
        // changed later rather than hiding a change. The kernel's ring would take it to a
        // worker thread of its own, dearer than the call.
        toRead[k] = ::statx(folder, file.name, 0, STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME,
                            &status[k])
                == 0
            && S_ISREG(status[k].stx_mode) && status[k].stx_size <= quint64(kMaxFileBytes);
        any = any || toRead[k];
    }
    if (!any || (!m_ring && !makeRing()))
        return false;
    Ring &ring = *m_ring;
    // Preparing an entry clears its flags: they are set after.
    const auto add = [&](unsigned file, Operation operation, unsigned char flags,
                         const auto &prepare) {
        io_uring_sqe *entry = io_uring_get_sqe(&ring.ring);
        prepare(entry);
        entry->flags |= flags;
        io_uring_sqe_set_data64(entry, file * kOperations + operation);
    };
    unsigned pending = 0;
    for (unsigned k = 0; k < count; ++k) {
        if (!toRead[k])
            continue;
        add(k, Open, IOSQE_IO_LINK, [&](io_uring_sqe *entry) {
            io_uring_prep_openat_direct(entry, folder, files[k].name, kOpenFlags, 0, k);
        });
        // Closed also when the read fails.
        add(k, Read, IOSQE_IO_HARDLINK | IOSQE_FIXED_FILE, [&](io_uring_sqe *entry) {
            io_uring_prep_read(entry, int(k), ring.room.get() + k * kRoom, unsigned(kRoom), 0);
        });
        add(k, Close, 0, [&](io_uring_sqe *entry) { io_uring_prep_close_direct(entry, k); });
        pending += 3;
    }
    const auto fail = [&] {
        // The ring failed: what it read is not trusted, and it is not used again.
        io_uring_queue_exit(&ring.ring);
        m_ring.reset();
        m_failed = true;
        return false;
    };
    while (io_uring_sq_ready(&ring.ring) > 0) {
        const int submitted = io_uring_submit(&ring.ring);
        if (submitted <= 0 && submitted != -EINTR)
            return fail();
    }
    // What the kernel could not do at once it does on its workers: most of a batch
    // there means it waits for the disk. (A file's read now and then goes there though
    // its bytes are in memory.)
    const bool waited = io_uring_cq_ready(&ring.ring) < pending / 2;
    while (pending > 0) {
        io_uring_cqe *done = nullptr;
        const int error = io_uring_wait_cqe(&ring.ring, &done);
        if (error == -EINTR)
            continue;
        if (error < 0)
            return fail();
        const auto operation = io_uring_cqe_get_data64(done);
        if (operation < count * kOperations)
            results[operation / kOperations][operation % kOperations] = done->res;
        io_uring_cqe_seen(&ring.ring, done);
        --pending;
    }
    for (unsigned k = 0; k < count; ++k) {
        const std::array<int, kOperations> &result = results[k];
        const struct statx &found = status[k];
        const int bytes = result[Read];
        if (!toRead[k] || result[Open] != 0 || result[Close] != 0 || bytes < 0
            || quint64(bytes) != found.stx_size)
            continue;
        files[k].bytes = QByteArray(ring.room.get() + k * kRoom, bytes);
        files[k].stamp
            = fileStamp(makedev(found.stx_dev_major, found.stx_dev_minor), found.stx_ino,
                        found.stx_size, quint64(found.stx_mtime.tv_sec), found.stx_mtime.tv_nsec);
        files[k].read = true;
    }
    return waited;
}
