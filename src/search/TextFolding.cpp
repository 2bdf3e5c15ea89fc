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

/// Makes out's size size, its room growing by half at least: a resize alone allots just
/// the size asked, so that a long text folded a piece at a time would be copied again
/// for every piece.
void growTo(FoldedText &out, qsizetype size)
{
    if (size > out.capacity())
        out.reserve(qMax(size, out.capacity() + out.capacity() / 2));
    out.resize(size);
}

/// Runs an ICU string function into out from size at, growing out when ICU asks for more.
template<typename Call> void appendFromIcu(FoldedText &out, qsizetype estimate, Call &&call)
{
    const qsizetype at = out.size();
    growTo(out, at + estimate);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = call(out.data() + at, int32_t(estimate), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        growTo(out, at + length);
        status = U_ZERO_ERROR;
        length = call(out.data() + at, length, &status);
    }
    out.resize(U_SUCCESS(status) ? at + length : at);
}

// Texts are folded at most this many code units at a time, so that a long value's folded
// form need not be held whole, nor a form three times its size be allotted for it.
constexpr qsizetype kFoldPiece = 4096;

/// The end of the piece of text that starts at from: about size code units on, never
/// between the two halves of a surrogate pair.
qsizetype pieceEnd(QStringView text, qsizetype from, qsizetype size)
{
    qsizetype end = qMin(text.size(), from + size);
    if (end < text.size() && end > from + 1 && QChar::isHighSurrogate(text[end - 1].unicode())
        && QChar::isLowSurrogate(text[end].unicode()))
        --end;
    return end;
}

void appendCaseFoldedByIcu(const char16_t *text, qsizetype size, FoldedText &out)
{
    // A full folding is at most three code units per code unit (ΐ, ﬃ).
    appendFromIcu(out, size * 3, [&](char16_t *dest, int32_t capacity, UErrorCode *status) {
        return u_strFoldCase(dest, capacity, text, int32_t(size), U_FOLD_CASE_DEFAULT, status);
    });
}

void appendCaseFolded(QStringView text, FoldedText &out)
{
    // "İ" folds to "i" rather than to "i" and a combining dot above as full case folding
    // has it, so that "istanbul" finds "İSTANBUL" as a user of any language expects. Its
    // full folding is one code unit longer than it and no character's is shorter than
    // the character: a folding as long as its text holds no "İ".
    const qsizetype at = out.size();
    appendCaseFoldedByIcu(text.utf16(), text.size(), out);
    const char16_t *from = text.utf16();
    const char16_t *const end = from + text.size();
    if (out.size() - at == text.size() || std::find(from, end, u'\u0130') == end)
        return;
    out.resize(at);
    for (const char16_t *dotted; (dotted = std::find(from, end, u'\u0130')) != end;
         from = dotted + 1) {
        if (dotted > from)
            appendCaseFoldedByIcu(from, dotted - from, out);
        out.append(u'i');
    }
    if (from < end)
        appendCaseFoldedByIcu(from, end - from, out);
}

bool isMark(UChar32 c)
{
    return u_charType(c) == U_NON_SPACING_MARK || u_getCombiningClass(c) != 0;
}

void appendUnlessMark(UChar32 c, FoldedText &out)
{
    if (isMark(c))
        return;
    if (U_IS_BMP(c)) {
        out.append(char16_t(c));
    } else {
        out.append(U16_LEAD(c));
        out.append(U16_TRAIL(c));
    }
}

/// Appends the text decomposed canonically, without its marks: every nonspacing mark and
/// every character of a combining class other than 0. Each character is decomposed on its
/// own. That gives what decomposing the whole text gives, as the canonical reordering of a
/// whole text moves only characters of such classes, and it takes time in proportion to
/// the text, where reordering a long run of marks of two classes does not.
void appendWithoutMarks(QStringView text, FoldedText &out)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status))
        nfd = nullptr;
    const char16_t *chars = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        // Below U+00C0 no character decomposes or is a mark.
        if (chars[i] < 0xC0) {
            out.append(chars[i++]);
            continue;
        }
        UChar32 c;
        U16_NEXT(chars, i, size, c);
        // A decomposition is at most 31 code units long.
        char16_t mapping[32];
        status = U_ZERO_ERROR;
        const int32_t length = nfd
            ? unorm2_getDecomposition(nfd, c, mapping, int32_t(std::size(mapping)), &status)
            : -1;
        if (length < 0 || U_FAILURE(status)) {
            appendUnlessMark(c, out);
            continue;
        }
        for (int32_t k = 0; k < length;) {
            UChar32 part;
            U16_NEXT(mapping, k, length, part);
            appendUnlessMark(part, out);
        }
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
        // Every character of a combining class other than 0 is removed too.
        USet *combining = uset_openPattern(u"[:^ccc=0:]", -1, &status);
        if (U_SUCCESS(status))
            uset_addAll(changed, combining);
        uset_close(combining);
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

namespace {

void foldPiece(QStringView piece, TextFolding folding, FoldedText &out)
{
    if (!folding.removeAccents) {
        appendCaseFolded(piece, out);
    } else if (!folding.foldCase) {
        appendWithoutMarks(piece, out);
    } else {
        FoldedText bare;
        appendWithoutMarks(piece, bare);
        appendCaseFolded(QStringView(bare.constData(), bare.size()), out);
    }
}

} // namespace

void foldText(QStringView text, TextFolding folding, FoldedText &out)
{
    if (folding.isIdentity()) {
        out.append(text.utf16(), text.size());
        return;
    }
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype end = pieceEnd(text, at, kFoldPiece);
        foldPiece(text.sliced(at, end - at), folding, out);
        at = end;
    }
}

bool foldedContains(QStringView text, TextFolding folding, QStringView form)
{
    if (folding.isIdentity())
        return text.contains(form, Qt::CaseSensitive);
    // Each piece's form is searched after the end of the forms before it, as long as a
    // match could begin there.
    FoldedText window;
    if (text.size() <= kFoldPiece) {
        foldPiece(text, folding, window);
        return QStringView(window.constData(), window.size()).contains(form, Qt::CaseSensitive);
    }
    const qsizetype keep = qMax(qsizetype(0), form.size() - 1);
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype end = pieceEnd(text, at, kFoldPiece);
        foldPiece(text.sliced(at, end - at), folding, window);
        if (QStringView(window.constData(), window.size()).contains(form, Qt::CaseSensitive))
            return true;
        if (window.size() > keep)
            window.remove(0, window.size() - keep);
        at = end;
    }
    return false;
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

bool FoldingTriggers::inText(QStringView text) const
{
    if (m_codePoints.empty())
        return false;
    const char16_t *chars = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = chars[i];
        if (c < 0x80)
            continue;
        if (!QChar::isSurrogate(c)) {
            if (isTrigger(c))
                return true;
            continue;
        }
        if (!QChar::isHighSurrogate(c) || i + 1 == n || !QChar::isLowSurrogate(chars[i + 1]))
            return true;
        if (isTrigger(QChar::surrogateToUcs4(c, chars[i + 1])))
            return true;
        ++i;
    }
    return false;
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
