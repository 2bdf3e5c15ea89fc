#include "search/TextFolding.h"

#include "card/ByteSearch.h"
#include "card/Windows1252.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>

namespace {

/// Runs an ICU string function into out from size at, growing out when ICU asks for more.
template<typename Call> void appendFromIcu(FoldedText &out, qsizetype estimate, Call &&call)
{
    const qsizetype at = out.size();
    out.resize(at + estimate);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = call(out.data() + at, int32_t(estimate), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(at + length);
        status = U_ZERO_ERROR;
        length = call(out.data() + at, length, &status);
    }
    out.resize(U_SUCCESS(status) ? at + length : at);
}

void appendCaseFolded(const char16_t *text, qsizetype size, FoldedText &out)
{
    // A full folding is at most three code units per code unit (ΐ, ﬃ).
    appendFromIcu(out, size * 3, [&](char16_t *dest, int32_t capacity, UErrorCode *status) {
        return u_strFoldCase(dest, capacity, text, int32_t(size), U_FOLD_CASE_DEFAULT, status);
    });
}

void appendWithoutMarks(QStringView text, FoldedText &out)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) {
        out.append(text.utf16(), text.size());
        return;
    }
    FoldedText decomposed;
    appendFromIcu(
        decomposed, text.size() * 2 + 8, [&](char16_t *dest, int32_t capacity, UErrorCode *s) {
            return unorm2_normalize(nfd, text.utf16(), int32_t(text.size()), dest, capacity, s);
        });
    const qsizetype size = decomposed.size();
    for (qsizetype i = 0; i < size;) {
        const qsizetype start = i;
        char32_t c;
        U16_NEXT(decomposed.data(), i, size, c);
        if (u_charType(UChar32(c)) != U_NON_SPACING_MARK)
            out.append(decomposed.data() + start, i - start);
    }
}

struct TriggerEntry
{
    char32_t codePoint;
    AsciiSet chars; // the ASCII characters of its form
    bool empty; // its form is empty
};

/// Every character at or above U+0080 whose form is empty or holds ASCII, for one
/// folding; found from ICU's data among the characters that the folding changes.
std::vector<TriggerEntry> makeTriggerEntries(TextFolding folding)
{
    UErrorCode status = U_ZERO_ERROR;
    USet *changed = uset_openEmpty();
    const auto add = [&](UProperty property, int32_t value) {
        USet *part = uset_openEmpty();
        uset_applyIntPropertyValue(part, property, value, &status);
        uset_addAll(changed, part);
        uset_close(part);
    };
    if (folding.foldCase)
        add(UCHAR_CHANGES_WHEN_CASEFOLDED, 1);
    if (folding.removeAccents) {
        add(UCHAR_GENERAL_CATEGORY_MASK, U_GC_MN_MASK);
        add(UCHAR_NFD_QUICK_CHECK, UNORM_NO);
    }
    std::vector<TriggerEntry> entries;
    const int32_t ranges = uset_getItemCount(changed);
    for (int32_t r = 0; r < ranges && U_SUCCESS(status); ++r) {
        UChar32 first = 0;
        UChar32 last = -1;
        uset_getItem(changed, r, &first, &last, nullptr, 0, &status);
        for (UChar32 c = qMax(first, UChar32(0x80)); c <= last; ++c) {
            char16_t units[2];
            int32_t length = 0;
            U16_APPEND_UNSAFE(units, length, c);
            FoldedText form;
            foldText(QStringView(units, length), folding, form);
            TriggerEntry entry{char32_t(c), {}, form.isEmpty()};
            for (const char16_t unit : form) {
                if (unit < 0x80)
                    entry.chars[unit / 64] |= quint64(1) << (unit % 64);
            }
            if (entry.empty || entry.chars[0] || entry.chars[1])
                entries.push_back(entry);
        }
    }
    uset_close(changed);
    return entries;
}

const std::vector<TriggerEntry> &triggerEntries(TextFolding folding)
{
    if (folding.foldCase && folding.removeAccents) {
        static const auto both = makeTriggerEntries(folding);
        return both;
    }
    if (folding.foldCase) {
        static const auto folded = makeTriggerEntries(folding);
        return folded;
    }
    if (folding.removeAccents) {
        static const auto accents = makeTriggerEntries(folding);
        return accents;
    }
    static const std::vector<TriggerEntry> none;
    return none;
}

bool shares(const AsciiSet &a, const AsciiSet &b)
{
    return (a[0] & b[0]) || (a[1] & b[1]);
}

/// The length of the UTF-8 sequence that starts with byte lead, 0 for no lead byte.
int utf8Length(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

void foldText(QStringView text, TextFolding folding, FoldedText &out)
{
    if (folding.removeAccents) {
        if (!folding.foldCase) {
            appendWithoutMarks(text, out);
            return;
        }
        FoldedText bare;
        appendWithoutMarks(text, bare);
        appendCaseFolded(bare.data(), bare.size(), out);
        return;
    }
    if (folding.foldCase) {
        appendCaseFolded(text.utf16(), text.size(), out);
        return;
    }
    out.append(text.utf16(), text.size());
}

QString foldedText(QStringView text, TextFolding folding)
{
    FoldedText form;
    foldText(text, folding, form);
    return QString(reinterpret_cast<const QChar *>(form.constData()), form.size());
}

FoldingTriggers::FoldingTriggers(TextFolding folding, const AsciiSet &needleChars)
{
    for (const TriggerEntry &entry : triggerEntries(folding)) {
        if (entry.empty || shares(entry.chars, needleChars))
            m_codePoints.push_back(entry.codePoint);
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char byte = char(b);
        const char32_t windows1252 = decodeWindows1252(QByteArrayView(&byte, 1)).at(0).unicode();
        m_bytes[std::size_t(b)] = isTrigger(windows1252) || isTrigger(char32_t(b));
    }
}

bool FoldingTriggers::isTrigger(char32_t c) const
{
    return std::binary_search(m_codePoints.begin(), m_codePoints.end(), c);
}

bool FoldingTriggers::inUtf8(QByteArrayView utf8) const
{
    return scan(utf8, false);
}

bool FoldingTriggers::inRawBytes(QByteArrayView bytes) const
{
    return scan(bytes, true);
}

bool FoldingTriggers::scan(QByteArrayView bytes, bool singleBytes) const
{
    if (m_codePoints.empty())
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            // Runs of ASCII are passed over sixteen bytes at a time.
            const qsizetype next = indexOfNonAscii(bytes.sliced(i));
            if (next < 0)
                return false;
            i += next - 1;
            continue;
        }
        if (singleBytes && m_bytes[b])
            return true;
        const int length = utf8Length(b);
        if (length == 0 || i + length > n)
            continue;
        char32_t c = b & (0xFF >> (length + 1));
        int k = 1;
        for (; k < length && (p[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        if (k == length && isTrigger(c))
            return true;
        // A legacy line reads every byte on its own, so no byte is skipped then.
        if (k == length && !singleBytes)
            i += length - 1;
    }
    return false;
}
