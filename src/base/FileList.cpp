#include "base/FileList.h"

#include <algorithm>

void FileList::append(const QStringList &paths)
{
    append(paths, 0, paths.size());
}

void FileList::append(std::shared_ptr<const FolderFiles> files)
{
    if (files)
        append(files, 0, files->size());
}

void FileList::append(const QStringList &paths, qsizetype from, qsizetype count)
{
    if (count <= 0)
        return;
    m_runs.push_back({m_size, paths, nullptr, from, count});
    m_size += count;
}

void FileList::append(std::shared_ptr<const FolderFiles> files, qsizetype from, qsizetype count)
{
    if (!files || count <= 0)
        return;
    m_runs.push_back({m_size, {}, std::move(files), from, count});
    m_size += count;
}

void FileList::append(const FileList &files)
{
    for (const Run &run : files.m_runs) {
        if (run.folder)
            append(run.folder, run.from, run.count);
        else
            append(run.paths, run.from, run.count);
    }
}

FileRef FileList::at(qsizetype i) const
{
    // The run whose first position is the last one not after i.
    const auto next = std::upper_bound(m_runs.begin(), m_runs.end(), i,
                                       [](qsizetype pos, const Run &r) { return pos < r.first; });
    const Run &run = *(next - 1);
    const qsizetype index = run.from + (i - run.first);
    if (run.folder)
        return {{}, run.folder.get(), index};
    return {run.paths.at(index), nullptr, 0};
}
