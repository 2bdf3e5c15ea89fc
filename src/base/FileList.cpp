#include "base/FileList.h"

#include <algorithm>

void FileList::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    m_batches.push_back({m_size, paths, nullptr});
    m_size += paths.size();
}

void FileList::append(std::shared_ptr<const FolderFiles> files)
{
    if (!files || files->size() == 0)
        return;
    const qsizetype count = files->size();
    m_batches.push_back({m_size, {}, std::move(files)});
    m_size += count;
}

FileRef FileList::at(qsizetype i) const
{
    // The batch whose first position is the last one not after i.
    const auto next = std::upper_bound(m_batches.begin(), m_batches.end(), i,
                                       [](qsizetype pos, const Batch &b) { return pos < b.first; });
    const Batch &batch = *(next - 1);
    if (batch.folder)
        return {{}, batch.folder.get(), i - batch.first};
    return {batch.paths.at(i - batch.first), nullptr, 0};
}
