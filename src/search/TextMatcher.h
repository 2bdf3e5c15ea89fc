#pragma once

#include "card/ByteSearch.h"
#include "card/CardParser.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

/// Tests whether values contain one search text, with or without letter case.
/// Ignoring case, an ASCII search text is compared by a quick ASCII path as long as
/// the characters it meets are ASCII, and by Qt's Unicode comparison otherwise.
class TextMatcher final
{
public:
    TextMatcher(const QString &needle, bool ignoreCase);

    /// An empty value contains nothing, not even the empty text.
    bool matches(QStringView value) const;

    /// The search text as given.
    const QString &text() const { return m_needle; }

private:
    bool matchesIgnoringAsciiCase(QStringView value) const;

    QString m_needle;
    QString m_lowerNeedle; // ASCII letters lowered, for the quick path
    bool m_ignoreCase;
    bool m_asciiNeedle;
};

/// Tells the card parser which values cannot contain any of the search texts,
/// so that it need not decode them. It decides only for search texts that are
/// non-empty and ASCII, and, ignoring case, only for ASCII values (a character
/// outside ASCII may fold onto an ASCII letter).
class RawValueFilter final : public CardParser::ValueFilter
{
public:
    RawValueFilter(const QStringList &texts, bool ignoreCase);

    /// False when the texts are of a kind this filter cannot judge.
    bool isUsable() const { return m_usable; }
    bool mayContain(QByteArrayView utf8Value) const override;

    /// False when no card of the prepared file bytes can hold a search text: the
    /// texts are not found even with folds and soft line breaks joined and every
    /// "=XX" read as its byte. Judged only for texts without blanks, backslashes,
    /// ",", ";", ":" and "=" (which escapes and markers could make), and not for
    /// files that name a charset that might turn bytes into other ASCII text. A large
    /// file is judged in blocks; when cancel is set on the way the answer is true.
    bool fileMayContain(QByteArrayView bytes, const std::atomic<bool> *cancel = nullptr) const;
    /// The same judgement for one card, for files whose text without a charset is
    /// read as legacyCharset (empty: Windows-1252) when it is not UTF-8.
    bool cardMayContain(QByteArrayView card, const std::function<QByteArray()> &legacyCharset,
                        QByteArray &lines) const override;

private:
    bool containsNeedle(QByteArrayView text) const;
    bool joinedMayContain(QByteArrayView bytes, QByteArray &lines) const;

    std::vector<ByteSearch> m_searches; // the texts, lowered when ignoring case
    bool m_ignoreCase;
    bool m_usable = true;
    bool m_fileUsable = true;
};
