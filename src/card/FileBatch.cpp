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
    std::array<struct statx, kMaxFiles> status{};
    std::array<std::array<int, kOperations>, kMaxFiles> results{};
    std::vector<char> room = std::vector<char>(std::size_t(kMaxFiles * kRoom));
};

FileBatchReader::FileBatchReader()
{
    auto ring = std::make_unique<Ring>();
    // Every entry is submitted even when one fails early: each then has its completion.
    if (io_uring_queue_init(kEntries, &ring->ring, IORING_SETUP_SUBMIT_ALL) < 0)
        return;
    if (io_uring_register_files_sparse(&ring->ring, kMaxFiles) < 0) {
        io_uring_queue_exit(&ring->ring);
        return;
    }
    // An open or read that must wait for the disk runs on a worker of the kernel's:
    // as many as the batch has files, not the default of four per processor.
    std::array<unsigned, 2> workers{kMaxFiles, 0};
    io_uring_register_iowq_max_workers(&ring->ring, workers.data());
    m_ring = std::move(ring);
}

FileBatchReader::~FileBatchReader()
{
    if (m_ring)
        io_uring_queue_exit(&m_ring->ring);
}

bool FileBatchReader::read(int folder, std::span<File> files)
{
    if (!m_ring)
        return false;
    Ring &ring = *m_ring;
    const auto count = unsigned(qMin<std::size_t>(files.size(), kMaxFiles));
    // Preparing an entry clears its flags: they are set after.
    const auto add = [&](unsigned file, Operation operation, unsigned char flags,
                         const auto &prepare) {
        io_uring_sqe *entry = io_uring_get_sqe(&ring.ring);
        prepare(entry);
        entry->flags |= flags;
        io_uring_sqe_set_data64(entry, file * kOperations + operation);
        ring.results[file][operation] = -ECANCELED;
    };
    unsigned pending = 0;
    for (unsigned k = 0; k < count; ++k) {
        File &file = files[k];
        file.read = false;
        // The status comes first, as one by one: a file replaced after it then shows as
        // changed later rather than hiding a change. The kernel's ring would take it to a
        // worker thread of its own, dearer than the call.
        struct statx &status = ring.status[k];
        if (::statx(folder, file.name, 0, STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME,
                    &status)
                != 0
            || !S_ISREG(status.stx_mode) || status.stx_size > quint64(kMaxFileBytes)) {
            ring.results[k].fill(-ECANCELED);
            continue;
        }
        add(k, Open, IOSQE_IO_LINK, [&](io_uring_sqe *entry) {
            io_uring_prep_openat_direct(entry, folder, file.name, kOpenFlags, 0, k);
        });
        // Closed also when the read fails.
        add(k, Read, IOSQE_IO_HARDLINK | IOSQE_FIXED_FILE, [&](io_uring_sqe *entry) {
            io_uring_prep_read(entry, int(k), ring.room.data() + k * kRoom, unsigned(kRoom), 0);
        });
        add(k, Close, 0, [&](io_uring_sqe *entry) { io_uring_prep_close_direct(entry, k); });
        pending += 3;
    }
    const auto fail = [&] {
        // The ring failed: what it read is not trusted, and it is not used again.
        io_uring_queue_exit(&ring.ring);
        m_ring.reset();
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
            ring.results[operation / kOperations][operation % kOperations] = done->res;
        io_uring_cqe_seen(&ring.ring, done);
        --pending;
    }
    for (unsigned k = 0; k < count; ++k) {
        const std::array<int, kOperations> &result = ring.results[k];
        const struct statx &status = ring.status[k];
        const int bytes = result[Read];
        if (result[Open] != 0 || result[Close] != 0 || bytes < 0
            || quint64(bytes) != status.stx_size)
            continue;
        files[k].bytes = QByteArray(ring.room.data() + k * kRoom, bytes);
        files[k].stamp = fileStamp(makedev(status.stx_dev_major, status.stx_dev_minor),
                                   status.stx_ino, status.stx_size,
                                   quint64(status.stx_mtime.tv_sec), status.stx_mtime.tv_nsec);
        files[k].read = true;
    }
    return waited;
}
