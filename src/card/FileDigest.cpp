#include "card/FileDigest.h"

#include <openssl/evp.h>
#include <openssl/opensslv.h>

#include <QtGlobal>

#include <algorithm>
#include <type_traits>

#include <dlfcn.h>

namespace {

/// OpenSSL's digest, loaded at the first digest asked for rather than with the program:
/// binding its thousands of symbols took about 4 ms of every search's start, and
/// digests are made only for a report that asks for them.
struct Crypto
{
    decltype(&EVP_MD_CTX_new) newContext = nullptr;
    decltype(&EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) finish = nullptr;
    /// Looked up once: a lookup per file would cost as much as a small file's digest.
    const EVP_MD *sha256 = nullptr;
};

/// Null when the library or one of its functions could not be had.
const Crypto *crypto()
{
    static const Crypto loaded = [] {
        Crypto found;
        void *const library
            = dlopen("libcrypto.so." QT_STRINGIFY(OPENSSL_SHLIB_VERSION), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return found;
        const auto take = [library](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(library, name));
            return function != nullptr;
        };
        decltype(&EVP_MD_fetch) fetch = nullptr;
        if (take(found.newContext, "EVP_MD_CTX_new") && take(found.freeContext, "EVP_MD_CTX_free")
            && take(found.init, "EVP_DigestInit_ex") && take(found.update, "EVP_DigestUpdate")
            && take(found.finish, "EVP_DigestFinal_ex") && take(fetch, "EVP_MD_fetch"))
            found.sha256 = fetch(nullptr, "SHA256", nullptr);
        return found;
    }();
    return loaded.sha256 ? &loaded : nullptr;
}

/// Ends a digest begun in context; no digest when any step failed.
FileDigest finishDigest(const Crypto &with, EVP_MD_CTX *context)
{
    FileDigest digest;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (with.finish(context, out, &length) == 1 && length == digest.bytes.size()) {
        std::copy(out, out + length, digest.bytes.begin());
        digest.made = true;
    }
    return digest;
}

struct ContextFree
{
    void operator()(EVP_MD_CTX *context) const { crypto()->freeContext(context); }
};
using ContextPointer = std::unique_ptr<EVP_MD_CTX, ContextFree>;

/// A new context, or none when OpenSSL could not be had.
ContextPointer newContext()
{
    const Crypto *const with = crypto();
    return ContextPointer(with ? with->newContext() : nullptr);
}

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
    thread_local const ContextPointer context = newContext();
    if (!context)
        return {};
    const Crypto &with = *crypto();
    if (with.init(context.get(), with.sha256, nullptr) != 1
        || with.update(context.get(), bytes.data(), std::size_t(bytes.size())) != 1)
        return {};
    return finishDigest(with, context.get());
}

struct FileDigester::Context
{
    ContextPointer context = newContext();
};

bool FileDigest::available()
{
    return crypto() != nullptr;
}

FileDigester::FileDigester() : m_context(std::make_unique<Context>())
{
    if (!m_context->context
        || crypto()->init(m_context->context.get(), crypto()->sha256, nullptr) != 1)
        m_context.reset();
}

FileDigester::~FileDigester() = default;

void FileDigester::add(QByteArrayView bytes)
{
    if (m_context
        && crypto()->update(m_context->context.get(), bytes.data(), std::size_t(bytes.size())) != 1)
        m_context.reset();
}

FileDigest FileDigester::finish()
{
    if (!m_context)
        return {};
    FileDigest digest = finishDigest(*crypto(), m_context->context.get());
    m_context.reset();
    return digest;
}
