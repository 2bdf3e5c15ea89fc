#include "search/WordMatching.h"

#include <unicode/ubrk.h>

#include <memory>
#include <vector>

namespace {

/// Bit i set when position i of the text (shorter than INT32_MAX) is a word boundary.
/// Every position is one when ICU cannot tell: the option then finds what the plain
/// search finds.
std::vector<bool> wordBoundaries(QStringView text)
{
    const qsizetype n = text.size();
    // A break iterator is costly to open: each thread keeps one.
    thread_local const std::unique_ptr<UBreakIterator, void (*)(UBreakIterator *)> words = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator *opened = ubrk_open(UBRK_WORD, "", nullptr, 0, &status);
        if (U_FAILURE(status) && opened) {
            ubrk_close(opened);
            opened = nullptr;
        }
        return std::unique_ptr<UBreakIterator, void (*)(UBreakIterator *)>(opened, ubrk_close);
    }();
    UErrorCode status = U_ZERO_ERROR;
    if (words)
        ubrk_setText(words.get(), text.utf16(), int32_t(n), &status);
    if (!words || U_FAILURE(status))
        return std::vector<bool>(std::size_t(n) + 1, true);
    std::vector<bool> at(std::size_t(n) + 1, false);
    for (int32_t b = ubrk_first(words.get()); b != UBRK_DONE; b = ubrk_next(words.get()))
        at[std::size_t(b)] = true;
    static const char16_t none = 0;
    ubrk_setText(words.get(), &none, 0, &status); // holds no pointer into the value
    return at;
}

// The characters of a value folded at a time for whole words.
constexpr qsizetype kWordPiece = qsizetype(1) << 16;

qsizetype codePointEnd(QStringView text, qsizetype i)
{
    return QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size()
            && QChar::isLowSurrogate(text[i + 1].unicode())
        ? i + 2
        : i + 1;
}

class WholeWordMatcher final : public ValueMatcher
{
public:
    WholeWordMatcher(const QString &needle, TextFolding folding)
        : m_contains(makeTextMatcher(needle, folding)), m_folding(folding),
          m_form(foldedText(needle, folding))
    {}

    bool matches(QStringView value) const override
    {
        // Most values do not hold the text at all: that is told quickly.
        return m_contains->matches(value) && holdsWholeWord(value, m_form, m_folding);
    }

private:
    std::shared_ptr<const ValueMatcher> m_contains;
    TextFolding m_folding;
    QString m_form;
};

} // namespace

bool holdsWholeWord(QStringView value, QStringView form, TextFolding folding)
{
    const qsizetype n = value.size();
    const qsizetype m = form.size();
    if (n == 0)
        return false;
    if (m == 0 || n >= INT32_MAX)
        return true; // at the value's start, a boundary; or past what ICU takes
    const std::vector<bool> boundary = wordBoundaries(value);
    if (folding.isIdentity()) {
        for (qsizetype k = value.indexOf(form); k >= 0; k = value.indexOf(form, k + 1)) {
            if (boundary[std::size_t(k)] && boundary[std::size_t(k + m)])
                return true;
        }
        return false;
    }
    // The value folded a character at a time, with the place of the character each unit
    // of its form comes from, a piece at a time: the matches that start in one piece are
    // looked for in its form and as much of the next as a match and the unit after it
    // can take, so that a value of many megabytes is never held folded whole.
    FoldedText folded;
    std::vector<qint32> origin;
    for (qsizetype from = 0; from < n;) {
        folded.clear();
        origin.clear();
        const qsizetype pieceEnd = qMin(n, from + kWordPiece);
        qsizetype startsBefore = -1; // the units of the characters before pieceEnd
        qsizetype i = from;
        while (i < n) {
            if (i >= pieceEnd) {
                if (startsBefore < 0)
                    startsBefore = folded.size();
                if (folded.size() > startsBefore + m)
                    break;
            }
            const qsizetype next = codePointEnd(value, i);
            const char16_t c = value[i].unicode();
            if (c < 0x80) {
                folded.append(folding.foldCase && c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
            } else {
                // Folded apart and then appended, so that the form grows by doubling.
                FoldedText one;
                foldText(value.sliced(i, next - i), folding, one);
                folded.append(one.constData(), one.size());
            }
            origin.resize(std::size_t(folded.size()), qint32(i));
            i = next;
        }
        if (startsBefore < 0)
            startsBefore = folded.size();
        const QStringView whole(folded.constData(), folded.size());
        const qsizetype size = whole.size();
        // Past the piece's folded units lie the lookahead's; at the value's end, nothing.
        const qsizetype end = i;
        for (qsizetype k = whole.indexOf(form); k >= 0 && k < startsBefore;
             k = whole.indexOf(form, k + 1)) {
            const qsizetype e = k + m;
            // The match must take in the whole forms of the characters it touches.
            if ((k > 0 && origin[std::size_t(k - 1)] == origin[std::size_t(k)])
                || (e < size && origin[std::size_t(e)] == origin[std::size_t(e - 1)]))
                continue;
            if (!boundary[std::size_t(origin[std::size_t(k)])])
                continue;
            // The match ends after its last character and any characters that fold to
            // nothing after it (accents removed): a boundary anywhere there will do.
            const qsizetype last = codePointEnd(value, origin[std::size_t(e - 1)]);
            const qsizetype after = e < size ? origin[std::size_t(e)] : end;
            for (qsizetype p = last; p <= after; ++p) {
                if (boundary[std::size_t(p)])
                    return true;
            }
        }
        from = pieceEnd;
        // A piece may end inside a character's surrogate pair: the next starts after it.
        if (from < n && from > 0 && value[from].isLowSurrogate() && value[from - 1].isHighSurrogate())
            ++from;
    }
    return false;
}

std::shared_ptr<const ValueMatcher> makeWholeWordMatcher(const QString &needle,
                                                         TextFolding folding)
{
    return std::make_shared<WholeWordMatcher>(needle, folding);
}
