#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdio>
#include <cstring>

/// The tool's standard output, with every write checked: a full disk, a closed pipe or
/// a file-size limit is remembered, so that the tool can say so and fail instead of
/// claiming success over a cut output.
/// The text with each control character (below U+0020, and U+007F) written as "\xHH",
/// so that a name or value in a message can neither drive the terminal nor break the
/// line.
QString terminalText(QStringView text);

/// Bytes gathered to be written, appended to in place: the room for a piece is made
/// once, not a size change per byte.
class OutputBytes final
{
public:
    qsizetype size() const { return m_used; }
    QByteArrayView view() const { return {m_bytes.constData(), m_used}; }
    void clear() { m_used = 0; }
    /// At least n bytes to write at, after those held; done(end) then keeps them.
    char *room(qsizetype n)
    {
        if (m_bytes.size() - m_used < n)
            m_bytes.resize(qMax(m_used + n, 2 * m_bytes.size()));
        return m_bytes.data() + m_used;
    }
    void done(const char *end) { m_used = end - m_bytes.constData(); }
    void append(QByteArrayView bytes)
    {
        if (!bytes.isEmpty())
            done(static_cast<char *>(std::memcpy(room(bytes.size()), bytes.data(),
                                                 std::size_t(bytes.size())))
                 + bytes.size());
    }

private:
    QByteArray m_bytes;
    qsizetype m_used = 0;
};

/// Appends text as Output::writeText writes it.
void appendOutputBytes(OutputBytes &out, QStringView text);
/// Appends a cell of a results line as writeText writes it once each control character
/// (below U+0020) is made a space.
void appendFlatCellBytes(OutputBytes &out, QStringView cell);

class Output final
{
public:
    explicit Output(std::FILE *file) : m_file(file) {}

    /// False once a write has failed; later writes are not tried.
    bool write(QByteArrayView bytes);
    /// Writes text as UTF-8, except that the bytes of a file name that are not UTF-8
    /// (held as U+DC80 to U+DCFF) are written as those bytes, as the name is on disk.
    bool writeText(QStringView text);
    /// Flushes what is buffered; false when that or an earlier write failed.
    bool finish();

    bool failed() const { return m_error != 0; }
    /// The reason of the first failure, as the system words it.
    QString errorText() const;
    std::FILE *file() const { return m_file; }

private:
    std::FILE *m_file;
    int m_error = 0;
};
