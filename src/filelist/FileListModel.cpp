#include "filelist/FileListModel.h"

#include "base/PlainToolTip.h"

#include <cstring>

using namespace Qt::StringLiterals;

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return pathOf(m_entries[std::size_t(index.row())]);
    if (role == Qt::ToolTipRole)
        return plainToolTip(pathOf(m_entries[std::size_t(index.row())]));
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return u" VCF File(s)"_s;
    return {};
}

QString FileListModel::text(qsizetype position) const
{
    return pathOf(m_entries.at(std::size_t(position - 1)));
}

QStringList FileListModel::paths() const
{
    QStringList paths;
    paths.reserve(count());
    for (const Entry &entry : m_entries)
        paths.append(pathOf(entry));
    return paths;
}

FileList FileListModel::files() const
{
    FileList files;
    // Entries that follow each other in one source make one run.
    std::size_t start = 0;
    for (std::size_t i = 1; i <= m_entries.size(); ++i) {
        const Entry &first = m_entries[start];
        if (i < m_entries.size() && m_entries[i].source == first.source
            && m_entries[i].index == first.index + (i - start))
            continue;
        const Source &source = m_sources[first.source];
        if (source.folder)
            files.append(source.folder, first.index, qsizetype(i - start));
        else
            files.append(source.paths, first.index, qsizetype(i - start));
        start = i;
    }
    return files;
}

void FileListModel::append(const QString &path)
{
    append(QStringList{path});
}

void FileListModel::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const std::uint32_t source = pathSource();
    QStringList &kept = m_sources[source].paths;
    std::vector<Entry> entries;
    entries.reserve(std::size_t(paths.size()));
    for (qsizetype i = 0; i < paths.size(); ++i)
        entries.push_back({source, std::uint32_t(kept.size() + i)});
    kept.append(paths);
    insertEntries(entries);
}

void FileListModel::append(const FileList &files)
{
    // The entries go straight into the list: a folder's files come in batches of many
    // thousands, and a list of them made first would take fresh memory for every batch.
    qsizetype added = 0;
    for (const FileList::Run &run : files.runs())
        added += run.count;
    if (added == 0)
        return;
    beginInsertRows({}, int(count()), int(count() + added - 1));
    for (const FileList::Run &run : files.runs()) {
        std::uint32_t source = 0;
        qsizetype first = 0;
        if (run.folder) {
            source = std::uint32_t(m_sources.size());
            m_sources.push_back({{}, run.folder, 0});
            first = run.from;
        } else {
            source = pathSource();
            QStringList &kept = m_sources[source].paths;
            first = kept.size();
            kept.append(run.paths.sliced(run.from, run.count));
        }
        m_sources[source].entries += run.count;
        for (qsizetype i = 0; i < run.count; ++i)
            m_entries.push_back({source, std::uint32_t(first + i)});
    }
    endInsertRows();
}

void FileListModel::removeAt(qsizetype position)
{
    removeRange(position, 1);
}

void FileListModel::removeRange(qsizetype position, qsizetype count)
{
    const qsizetype first = qMax<qsizetype>(position, 1);
    const qsizetype last = qMin(position + count - 1, this->count());
    if (last < first)
        return;
    beginRemoveRows({}, int(first - 1), int(last - 1));
    release(first - 1, last - 1);
    m_entries.erase(m_entries.begin() + (first - 1), m_entries.begin() + last);
    endRemoveRows();
}

void FileListModel::clear()
{
    if (m_entries.empty()) {
        m_sources.clear();
        return;
    }
    beginResetModel();
    m_entries.clear();
    m_sources.clear();
    endResetModel();
}

void FileListModel::exchange(qsizetype a, qsizetype b)
{
    if (a < 1 || b < 1 || a > count() || b > count() || a == b)
        return;
    std::swap(m_entries[std::size_t(a - 1)], m_entries[std::size_t(b - 1)]);
    const QModelIndex first = index(int(a - 1));
    const QModelIndex second = index(int(b - 1));
    emit dataChanged(first, first, {Qt::DisplayRole});
    emit dataChanged(second, second, {Qt::DisplayRole});
}

bool FileListModel::ListContainsPath(const QString &path) const
{
    for (const Entry &entry : m_entries) {
        if (holds(entry, path))
            return true;
    }
    return false;
}

QString FileListModel::pathOf(const Entry &entry) const
{
    const Source &source = m_sources[entry.source];
    return source.folder ? source.folder->path(entry.index) : source.paths.at(entry.index);
}

bool FileListModel::holds(const Entry &entry, const QString &path) const
{
    const Source &source = m_sources[entry.source];
    if (!source.folder)
        return source.paths.at(entry.index) == path;
    // The folder's path and then the name, compared without making the entry's path.
    const QString &folder = source.folder->folder;
    const char *name = source.folder->name(entry.index);
    return path.size() == folder.size() + qsizetype(std::strlen(name)) && path.startsWith(folder)
        && QStringView(path).sliced(folder.size()) == QLatin1StringView(name);
}

std::uint32_t FileListModel::pathSource()
{
    // Paths go on at the end of the last list of paths while entries refer to it.
    if (!m_sources.empty() && !m_sources.back().folder && m_sources.back().entries > 0)
        return std::uint32_t(m_sources.size() - 1);
    m_sources.push_back({});
    return std::uint32_t(m_sources.size() - 1);
}

void FileListModel::insertEntries(const std::vector<Entry> &entries)
{
    if (entries.empty())
        return;
    for (const Entry &entry : entries)
        ++m_sources[entry.source].entries;
    beginInsertRows({}, int(count()), int(count() + qsizetype(entries.size()) - 1));
    m_entries.insert(m_entries.end(), entries.begin(), entries.end());
    endInsertRows();
}

void FileListModel::release(qsizetype first, qsizetype last)
{
    // A source no entry refers to any more lets its paths or names go.
    for (qsizetype i = first; i <= last; ++i) {
        Source &source = m_sources[m_entries[std::size_t(i)].source];
        if (--source.entries == 0) {
            source.paths = {};
            source.folder.reset();
        }
    }
}
