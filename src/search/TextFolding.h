#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <vector>

/// How a text is turned into the form that searching compares: letter case folded
/// (Unicode full case folding, so that "ß" reads "ss" and "ﬁ" reads "fi", except that
/// "İ" reads "i"), accents and other marks removed (canonical decomposition, then every
/// nonspacing mark and every character of a combining class other than 0 dropped), both,
/// or neither.
struct TextFolding
{
    bool foldCase = false;
    bool removeAccents = false;

    bool isIdentity() const { return !foldCase && !removeAccents; }
    bool operator==(const TextFolding &) const = default;
};

using FoldedText = QVarLengthArray<char16_t, 256>;

/// Appends the folded form of text to out. The form of a text is the forms of its
/// characters one after the other, so a search text's form occurs in a value's form
/// exactly where the characters that make it stand in the value.
void foldText(QStringView text, TextFolding folding, FoldedText &out);
QString foldedText(QStringView text, TextFolding folding);
/// True when the folded form of text holds form. The text is folded a piece at a time:
/// its whole form is never held.
bool foldedContains(QStringView text, TextFolding folding, QStringView form);

/// The ASCII characters as a set of 128 bits.
using AsciiSet = std::array<quint64, 2>;

/// The characters at or above U+0080 that a raw ASCII comparison cannot judge for a
/// search text whose folded form is ASCII: those whose own form is empty (a mark that
/// could join the text's pieces) or holds one of the text's characters. Single bytes
/// are judged as a legacy file's lines read them (Windows-1252 and ISO-8859-1).
class FoldingTriggers final
{
public:
    FoldingTriggers() = default;
    /// For search texts whose folded forms hold the characters of needleChars.
    FoldingTriggers(TextFolding folding, const AsciiSet &needleChars);

    bool isEmpty() const { return m_codePoints.empty(); }
    /// True when UTF-8 text holds a trigger.
    bool inUtf8(QByteArrayView utf8) const;
    /// True when bytes of unknown charset hold a trigger read as UTF-8 or as a legacy
    /// single-byte charset.
    bool inRawBytes(QByteArrayView bytes) const;
    /// True when text holds a trigger or a lone surrogate.
    bool inText(QStringView text) const;

private:
    bool isTrigger(char32_t c) const;
    bool scan(QByteArrayView bytes, bool singleBytes) const;

    std::vector<char32_t> m_codePoints; // sorted
    std::array<bool, 256> m_bytes{};
};
