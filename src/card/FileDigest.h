#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <memory>

/// A file's SHA-256 digest, when one was made: held in place, so that a file's facts
/// carry it without an allocation of its own.
struct FileDigest
{
    std::array<unsigned char, 32> bytes{};
    bool made = false;

    bool isEmpty() const { return !made; }
    /// The digest as 64 lowercase hex digits; empty when none was made.
    QByteArray toHex() const;
    /// Writes the 64 hex digits at into.
    void writeHex(char *into) const;

    bool operator==(const FileDigest &) const = default;

    /// The digest of bytes in one piece. Each thread keeps one context for its digests:
    /// making one per file would cost as much as a small file's digest itself.
    static FileDigest of(QByteArrayView bytes);
    /// Whether digests can be made: the system's OpenSSL library, loaded at the first
    /// digest, was found. Without it every digest is none.
    static bool available();
};

/// The SHA-256 digest of bytes given in pieces.
class FileDigester
{
public:
    FileDigester();
    ~FileDigester();
    FileDigester(const FileDigester &) = delete;
    FileDigester &operator=(const FileDigester &) = delete;

    void add(QByteArrayView bytes);
    /// The digest of the bytes added; none when a step failed.
    FileDigest finish();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
