#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// The files of one folder whose names are ASCII, kept as the bytes of their names: a
/// search opens each by its name in the folder and makes its path only when it needs it.
struct FolderFiles
{
    QString folder; // the folder's path, ending in "/"
    std::string names; // the names, each ended by a '\0'
    std::vector<std::uint32_t> starts; // where each name begins in names

    qsizetype size() const { return qsizetype(starts.size()); }
    const char *name(qsizetype i) const { return names.data() + starts[std::size_t(i)]; }
    QString path(qsizetype i) const { return folder + QLatin1StringView(name(i)); }
};

/// One file of a FileList: a path, or a name in a folder's FolderFiles.
struct FileRef
{
    QString path;
    const FolderFiles *folder = nullptr;
    qsizetype index = 0;

    QString fullPath() const { return folder ? folder->path(index) : path; }
};

/// A list of files made of lists of paths and of folders' lists of names, in order.
/// Copies share what they hold.
class FileList final
{
public:
    FileList() = default;
    FileList(const QStringList &paths) { append(paths); } // NOLINT: a list of paths is one

    void append(const QStringList &paths);
    void append(std::shared_ptr<const FolderFiles> files);
    /// Appends count paths of a list from position from on, sharing the list.
    void append(const QStringList &paths, qsizetype from, qsizetype count);
    /// Appends count files of a folder's names from position from on, sharing them.
    void append(std::shared_ptr<const FolderFiles> files, qsizetype from, qsizetype count);
    /// Appends another list's files, sharing what it holds.
    void append(const FileList &files);

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    /// The file at position i; it stays valid as long as the list or a copy of it.
    FileRef at(qsizetype i) const;
    QString pathAt(qsizetype i) const { return at(i).fullPath(); }

    /// A run of the list's files from one source: count paths of a list, or count names
    /// of a folder, from position from on.
    struct Run
    {
        qsizetype first = 0; // the list's position of the run's first file
        QStringList paths;
        std::shared_ptr<const FolderFiles> folder;
        qsizetype from = 0;
        qsizetype count = 0;
    };
    const std::vector<Run> &runs() const { return m_runs; }

private:
    std::vector<Run> m_runs;
    qsizetype m_size = 0;
};
