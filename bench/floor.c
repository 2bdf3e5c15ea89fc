// The floor of a search of every file: walks a tree and reads each regular file whole,
// doing nothing with the bytes. A search that reads every file cannot be faster.
//
//   quillory-bench-floor THREADS DIR
//
// The walk lists every folder and its files first (breadth-first, by d_type, links not
// followed), then THREADS threads take the files in small runs, open each with openat on
// its folder's descriptor, read it to the end into a buffer and close it. Prints the
// bytes and files read; exits 1 when a file or folder could not be read.

#define _DEFAULT_SOURCE // d_type and its DT_ values, with POSIX 2008

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Files a thread takes at a time: runs of one folder's files keep the folder open.
enum { kRun = 64, kMaxThreads = 256 };

struct File
{
    size_t folder;
    size_t name; // offset into names
};

static char **folders;
static size_t folderCount, folderRoom;
static struct File *files;
static size_t fileCount, fileRoom;
static char *names;
static size_t namesSize, namesRoom;

static atomic_size_t nextFile;
static atomic_ullong totalBytes;
static atomic_int failures;

static void *grow(void *block, size_t *room, size_t needed, size_t itemSize)
{
    if (needed <= *room)
        return block;
    size_t bigger = *room ? *room : 1024;
    while (bigger < needed)
        bigger *= 2;
    block = realloc(block, bigger * itemSize);
    if (!block) {
        fputs("out of memory\n", stderr);
        exit(2);
    }
    *room = bigger;
    return block;
}

static void addFolder(const char *parent, const char *name)
{
    const size_t length = strlen(parent) + 1 + strlen(name) + 1;
    char *path = malloc(length);
    if (!path) {
        fputs("out of memory\n", stderr);
        exit(2);
    }
    if (*name)
        snprintf(path, length, "%s/%s", parent, name);
    else
        snprintf(path, length, "%s", parent);
    folders = grow(folders, &folderRoom, folderCount + 1, sizeof *folders);
    folders[folderCount++] = path;
}

static void addFile(size_t folder, const char *name)
{
    const size_t length = strlen(name) + 1;
    names = grow(names, &namesRoom, namesSize + length, 1);
    memcpy(names + namesSize, name, length);
    files = grow(files, &fileRoom, fileCount + 1, sizeof *files);
    files[fileCount++] = (struct File){folder, namesSize};
    namesSize += length;
}

static void fail(const char *what, const char *folder, const char *name)
{
    fprintf(stderr, "%s %s%s%s: %s\n", what, folder, *name ? "/" : "", name, strerror(errno));
    atomic_fetch_add(&failures, 1);
}

// Lists the folders breadth-first; the list grows while it is walked.
static void walk(const char *root)
{
    addFolder(root, "");
    for (size_t at = 0; at < folderCount; ++at) {
        const int fd = open(folders[at], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd < 0 ? NULL : fdopendir(fd);
        if (!dir) {
            fail("cannot list", folders[at], "");
            if (fd >= 0)
                close(fd);
            continue;
        }
        for (struct dirent *entry; (entry = readdir(dir)) != NULL;) {
            const char *name = entry->d_name;
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat status;
                if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : 0;
            }
            if (type == DT_DIR)
                addFolder(folders[at], name);
            else if (type == DT_REG)
                addFile(at, name);
        }
        closedir(dir);
    }
}

static void *readFiles(void *unused)
{
    (void)unused;
    size_t room = 0;
    char *buffer = grow(NULL, &room, 1 << 16, 1);
    unsigned long long bytes = 0;
    size_t openFolder = (size_t)-1;
    int folderFd = -1;
    for (;;) {
        const size_t first = atomic_fetch_add(&nextFile, kRun);
        if (first >= fileCount)
            break;
        const size_t end = first + kRun < fileCount ? first + kRun : fileCount;
        for (size_t i = first; i < end; ++i) {
            const struct File *file = &files[i];
            if (file->folder != openFolder) {
                if (folderFd >= 0)
                    close(folderFd);
                openFolder = file->folder;
                folderFd = open(folders[openFolder], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            }
            const int fd = openat(folderFd, names + file->name, O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                fail("cannot open", folders[file->folder], names + file->name);
                continue;
            }
            size_t used = 0;
            for (;;) {
                if (used == room)
                    buffer = grow(buffer, &room, room * 2, 1);
                const ssize_t got = read(fd, buffer + used, room - used);
                if (got > 0) {
                    used += (size_t)got;
                } else {
                    if (got < 0 && errno == EINTR)
                        continue;
                    if (got < 0)
                        fail("cannot read", folders[file->folder], names + file->name);
                    break;
                }
            }
            bytes += used;
            close(fd);
        }
    }
    if (folderFd >= 0)
        close(folderFd);
    free(buffer);
    atomic_fetch_add(&totalBytes, bytes);
    return NULL;
}

int main(int argc, char **argv)
{
    const int threads = argc == 3 ? atoi(argv[1]) : 0;
    if (threads < 1 || threads > kMaxThreads) {
        fputs("usage: quillory-bench-floor THREADS DIR   (THREADS from 1 to 256)\n", stderr);
        return 2;
    }
    walk(argv[2]);
    pthread_t pool[kMaxThreads];
    int started = 0;
    for (; started < threads; ++started) {
        const int error = pthread_create(&pool[started], NULL, readFiles, NULL);
        if (error != 0) {
            errno = error;
            fail("cannot start a thread", "", "");
            break;
        }
    }
    if (started == 0)
        readFiles(NULL);
    for (int i = 0; i < started; ++i)
        pthread_join(pool[i], NULL);
    printf("bytes %llu files %zu\n", (unsigned long long)atomic_load(&totalBytes), fileCount);
    for (size_t i = 0; i < folderCount; ++i)
        free(folders[i]);
    free(folders);
    free(files);
    free(names);
    return atomic_load(&failures) ? 1 : 0;
}
