#include "search/ValueMatcher.h"

namespace {

inline char16_t lowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

enum class AsciiSearch { Found, Absent, NotAscii };

/// Looks for an ASCII needle (its letters lowered when ignoring case) among the value's
/// ASCII characters. A match there is a match of the folded value too, as folding keeps
/// ASCII letters (lowered) and every other character folds on its own. NotAscii when there
/// is none and the value holds a character outside ASCII: a folded comparison must decide.
template<bool IgnoreCase> AsciiSearch findAscii(QStringView value, QStringView needle)
{
    const qsizetype m = needle.size();
    const qsizetype n = value.size();
    if (m == 0)
        return AsciiSearch::Found;
    const char16_t *v = value.utf16();
    const char16_t *k = needle.utf16();
    const auto same = [](char16_t c) { return IgnoreCase ? lowerAscii(c) : c; };
    bool other = false;
    for (qsizetype i = 0; i + m <= n; ++i) {
        const char16_t c = v[i];
        if (c >= 0x80) {
            other = true;
            continue;
        }
        if (same(c) != k[0])
            continue;
        qsizetype j = 1;
        for (; j < m; ++j) {
            const char16_t d = v[i + j];
            if (d >= 0x80 || same(d) != k[j])
                break;
        }
        if (j == m)
            return AsciiSearch::Found;
    }
    if (other)
        return AsciiSearch::NotAscii;
    // The last characters were not all looked at; one outside ASCII there may still
    // fold into the needle's tail ("ß" into "ss"), as may any in a value shorter than it.
    for (qsizetype i = qMax(qsizetype(0), n - m + 1); i < n; ++i) {
        if (v[i] >= 0x80)
            return AsciiSearch::NotAscii;
    }
    return AsciiSearch::Absent;
}

/// "Match case": the value holds the needle as it stands.
class PlainMatcher final : public ValueMatcher
{
public:
    explicit PlainMatcher(const QString &needle) : m_needle(needle) {}

    bool matches(QStringView value) const override
    {
        return value.contains(m_needle, Qt::CaseSensitive);
    }

private:
    QString m_needle;
};

/// The value's folded form holds the needle's. An ASCII needle form is compared by a
/// quick path while the value is ASCII, whose form is itself (lowered when folding case),
/// and while its other characters are no triggers: the form of each of them is then
/// neither empty nor holds a character of the needle's, so no match can take it in.
class FoldingMatcher : public ValueMatcher
{
public:
    FoldingMatcher(const QString &needle, TextFolding folding)
        : m_folding(folding), m_form(foldedText(needle, folding)), m_asciiForm(isAscii(m_form))
    {
        if (m_asciiForm)
            m_triggers = FoldingTriggers(folding, asciiSet(m_form));
    }

    bool matches(QStringView value) const override
    {
        if (m_asciiForm) {
            const AsciiSearch quick = m_folding.foldCase ? findAscii<true>(value, m_form)
                                                         : findAscii<false>(value, m_form);
            if (quick != AsciiSearch::NotAscii)
                return quick == AsciiSearch::Found;
            if (!m_triggers.inText(value))
                return false;
        }
        return foldedContains(value, m_folding, m_form);
    }

private:
    static AsciiSet asciiSet(QStringView ascii)
    {
        AsciiSet set{};
        for (const QChar c : ascii)
            set[c.unicode() / 64] |= quint64(1) << (c.unicode() % 64);
        return set;
    }

    TextFolding m_folding;
    QString m_form;
    bool m_asciiForm;
    FoldingTriggers m_triggers;
};

/// "Ignore case" by Unicode full case folding: "STRASSE" finds "Straße".
class CaseFoldedMatcher final : public FoldingMatcher
{
public:
    explicit CaseFoldedMatcher(const QString &needle) : FoldingMatcher(needle, {true, false}) {}
};

/// "Ignore accents": marks removed from both sides, and letter case folded unless it
/// must match.
class AccentFreeMatcher final : public FoldingMatcher
{
public:
    AccentFreeMatcher(const QString &needle, bool ignoreCase)
        : FoldingMatcher(needle, {ignoreCase, true})
    {}
};

} // namespace

std::shared_ptr<const ValueMatcher> makeTextMatcher(const QString &needle, TextFolding folding)
{
    if (folding.removeAccents)
        return std::make_shared<AccentFreeMatcher>(needle, folding.foldCase);
    if (folding.foldCase)
        return std::make_shared<CaseFoldedMatcher>(needle);
    return std::make_shared<PlainMatcher>(needle);
}
