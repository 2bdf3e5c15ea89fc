#include "card/FileDigest.h"

#include <openssl/evp.h>

#include <algorithm>

namespace {

/// Looked up once: a lookup per file would cost as much as a small file's digest.
const EVP_MD *sha256Method()
{
    static EVP_MD *const method = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return method;
}

/// Ends a digest begun in context; no digest when any step failed.
FileDigest finishDigest(EVP_MD_CTX *context)
{
    FileDigest digest;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, out, &length) == 1 && length == digest.bytes.size()) {
        std::copy(out, out + length, digest.bytes.begin());
        digest.made = true;
    }
    return digest;
}

struct ContextFree
{
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
using ContextPointer = std::unique_ptr<EVP_MD_CTX, ContextFree>;

} // namespace

QByteArray FileDigest::toHex() const
{
    if (!made)
        return {};
    QByteArray hex(qsizetype(bytes.size() * 2), Qt::Uninitialized);
    writeHex(hex.data());
    return hex;
}

void FileDigest::writeHex(char *into) const
{
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned char byte : bytes) {
        *into++ = kDigits[byte >> 4];
        *into++ = kDigits[byte & 15];
    }
}

FileDigest FileDigest::of(QByteArrayView bytes)
{
    // A context ended by a digest is begun again with the same method: its state is
    // reused rather than made anew.
    thread_local const ContextPointer context(EVP_MD_CTX_new());
    if (!context || !sha256Method()
        || EVP_DigestInit_ex(context.get(), sha256Method(), nullptr) != 1
        || EVP_DigestUpdate(context.get(), bytes.data(), std::size_t(bytes.size())) != 1)
        return {};
    return finishDigest(context.get());
}

struct FileDigester::Context
{
    ContextPointer context{EVP_MD_CTX_new()};
};

FileDigester::FileDigester() : m_context(std::make_unique<Context>())
{
    if (!m_context->context || !sha256Method()
        || EVP_DigestInit_ex(m_context->context.get(), sha256Method(), nullptr) != 1)
        m_context.reset();
}

FileDigester::~FileDigester() = default;

void FileDigester::add(QByteArrayView bytes)
{
    if (m_context
        && EVP_DigestUpdate(m_context->context.get(), bytes.data(), std::size_t(bytes.size())) != 1)
        m_context.reset();
}

FileDigest FileDigester::finish()
{
    if (!m_context)
        return {};
    FileDigest digest = finishDigest(m_context->context.get());
    m_context.reset();
    return digest;
}
