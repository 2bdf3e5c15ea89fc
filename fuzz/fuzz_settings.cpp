// Settings files of any bytes: the store reads every key without a crash, a stored
// option either converts or fails with "Type mismatch", and a later write neither
// loses what could be read nor the damaged file's bytes.

#include "base/Failure.h"
#include "base/SettingsStore.h"
#include "search/SearchSets.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

const QStringList kKeys = {QStringLiteral("Text1"),  QStringLiteral("FindSets"),
                           QStringLiteral("Option1"), QStringLiteral("Option2"),
                           QStringLiteral("Option3"), QStringLiteral("Option4"),
                           QStringLiteral("Extension"), QStringLiteral("LastFolder")};

void convert(const QString &text)
{
    try {
        const bool value = textToBoolean(text);
        if (textToBoolean(booleanText(value)) != value)
            std::abort();
    } catch (const Failure &failure) {
        if (failure.description() != QStringLiteral("Type mismatch"))
            std::abort();
    }
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One folder for the whole run, in memory where the machine has /dev/shm.
    static const auto folder = std::make_unique<QTemporaryDir>(
        QFileInfo(QStringLiteral("/dev/shm")).isDir()
            ? QStringLiteral("/dev/shm/quillory-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/quillory-fuzz-XXXXXX"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    convert(QString::fromUtf8(bytes));

    QDir(folder->path()).removeRecursively();
    QDir().mkpath(folder->path());
    // A new name each time: QSettings caches files per process by name, and a file
    // rewritten within the same second may keep its size.
    static qint64 round = 0;
    const QString path =
        folder->filePath(QStringLiteral("Brenmoor-%1.ini").arg(++round));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }

    QStringList before;
    {
        SettingsStore store(path);
        for (const QString &key : kKeys)
            before.append(store.ReadSetting(key, QString()));
        for (int option = 2; option < 6; ++option)
            convert(before.at(option));
        (void)findSetsFromText(before.at(1));
        // Storing the search text, then storing the sets read back.
        store.WriteSetting(QStringLiteral("Text1"), before.at(0) + QStringLiteral("x"));
        StoreFindSets(store, findSetsFromText(before.at(1)));
    }

    // The damaged file's bytes are kept whole where the store rewrote them.
    const QString copy = path + QStringLiteral(".damaged");
    if (QFile::exists(copy) && readAll(copy) != bytes)
        std::abort();

    SettingsStore reread(path);
    if (reread.ReadSetting(QStringLiteral("Text1"), QString()) != before.at(0) + QStringLiteral("x"))
        std::abort();
    if (reread.ReadSetting(QStringLiteral("FindSets"), QString())
        != findSetsText(findSetsFromText(before.at(1))))
        std::abort();
    // A value that could be read comes back as it was. One that could not (a damaged
    // file's line that QSettings took for part of another key) may come back readable
    // once QSettings has written the file anew: that loses nothing, and the damaged
    // file's bytes are kept beside it.
    for (int key = 2; key < kKeys.size(); ++key) {
        if (!before.at(key).isEmpty()
            && reread.ReadSetting(kKeys.at(key), QString()) != before.at(key))
            std::abort(); // a value that could be read was lost by the later write
    }
    return 0;
}
