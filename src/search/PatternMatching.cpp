#include "search/PatternMatching.h"

#include <re2/filtered_re2.h>
#include <re2/re2.h>

#include <QVarLengthArray>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Literals shorter than this are not worth a look in a file's bytes: a pattern with only
// such literals is not judged there.
constexpr int kMinLiteralLength = 3;

RE2::Options patternOptions(bool ignoreCase)
{
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingUTF8);
    options.set_case_sensitive(!ignoreCase);
    options.set_log_errors(false);
    return options;
}

/// The pattern as RE2 reads it: with accents ignored, the characters written in it lose
/// theirs as the values do (ASCII, and so every operator, stays as it is).
std::string patternSource(const QString &pattern, bool removeAccents)
{
    return (removeAccents ? foldedText(pattern, {false, true}) : pattern).toStdString();
}

using Utf8Buffer = QVarLengthArray<char, 512>;

/// Appends text as UTF-8; a lone surrogate becomes U+FFFD, as Qt converts it.
void appendUtf8(QStringView text, Utf8Buffer &out)
{
    const qsizetype n = text.size();
    const char16_t *u = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = u[i];
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
            else
                c = 0xFFFD;
        }
        if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
        } else {
            out.append(char(0xF0 | (c >> 18)));
            out.append(char(0x80 | ((c >> 12) & 0x3F)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
        }
        out.append(char(0x80 | (c & 0x3F)));
    }
}

/// The pattern between two places that are not inside a word: the value's ends or a
/// character that is not a letter, mark, digit or connector. The pattern is grouped on its
/// own, so that its alternatives and flags stay inside.
std::string wholeWordSource(const std::string &source)
{
    static const std::string outside = "[^\\pL\\pM\\pN\\p{Pc}]";
    return "(?:^|" + outside + ")(?:" + source + ")(?:" + outside + "|$)";
}

class PatternMatcher final : public ValueMatcher
{
public:
    PatternMatcher(const QString &pattern, TextFolding folding, bool wholeWords)
        : m_re(wholeWords ? wholeWordSource(patternSource(pattern, folding.removeAccents))
                          : patternSource(pattern, folding.removeAccents),
               patternOptions(folding.foldCase)),
          m_removeAccents(folding.removeAccents)
    {
        // A pattern that is not valid alone may read as one inside the group ("a)(b").
        m_valid = m_re.ok()
            && (!wholeWords
                || RE2(patternSource(pattern, folding.removeAccents), patternOptions(false)).ok());
    }

    bool matches(QStringView value) const override
    {
        if (!m_valid)
            return false;
        Utf8Buffer utf8;
        if (m_removeAccents) {
            FoldedText folded;
            foldText(value, {false, true}, folded);
            appendUtf8(QStringView(folded.constData(), folded.size()), utf8);
        } else {
            appendUtf8(value, utf8);
        }
        return RE2::PartialMatch(re2::StringPiece(utf8.constData(), std::size_t(utf8.size())),
                                 m_re);
    }

private:
    RE2 m_re;
    bool m_removeAccents;
    bool m_valid = false;
};

} // namespace

QString patternProblem(const QString &pattern, bool removeAccents)
{
    // Without its accents a pattern may read otherwise ("[\u0301]" is "[]").
    const QString source = removeAccents ? foldedText(pattern, {false, true}) : pattern;
    const RE2 re(source.toStdString(), patternOptions(false));
    if (re.ok())
        return {};
    const QString fragment = QString::fromStdString(re.error_arg());
    QString problem = QString::fromStdString(re.error());
    // RE2 names the piece of the pattern where it stopped; a backslash at the end is the
    // last character.
    qsizetype at = fragment.isEmpty() ? -1 : source.indexOf(fragment);
    if (re.error_code() == RE2::ErrorTrailingBackslash)
        at = source.size() - 1;
    if (at >= 0)
        problem += u" at character "_s + QString::number(at + 1);
    return problem;
}

QString patternsProblem(const QStringList &patterns, bool removeAccents)
{
    for (const QString &pattern : patterns) {
        if (const QString problem = patternProblem(pattern, removeAccents); !problem.isEmpty())
            return u"the regular expression \""_s + pattern + u"\" is not valid: "_s + problem;
    }
    return {};
}

std::shared_ptr<const ValueMatcher> makePatternMatcher(const QString &pattern, TextFolding folding,
                                                       bool wholeWords)
{
    return std::make_shared<PatternMatcher>(pattern, folding, wholeWords);
}

std::optional<QStringList> patternLiterals(const QStringList &patterns, bool removeAccents)
{
    QStringList literals;
    for (const QString &pattern : patterns) {
        // A pattern's literals are those RE2's prefilter finds: a match makes the prefilter's
        // formula over them true, and so holds one of them unless the formula holds with
        // none, as it does for a pattern RE2 cannot judge.
        re2::FilteredRE2 filter(kMinLiteralLength);
        int id = 0;
        if (filter.Add(patternSource(pattern, removeAccents), patternOptions(true), &id)
            != RE2::NoError)
            return std::nullopt;
        std::vector<std::string> atoms;
        filter.Compile(&atoms);
        std::vector<int> passing;
        filter.AllPotentials({}, &passing);
        if (atoms.empty() || !passing.empty())
            return std::nullopt;
        for (const std::string &atom : atoms)
            literals.append(QString::fromStdString(atom));
    }
    return literals;
}
