#pragma once

#include "card/ByteSearch.h"
#include "card/CardParser.h"
#include "search/JoinedScan.h"
#include "search/MatchOptions.h"
#include "search/TextFolding.h"
#include "search/ValueMatcher.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

/// Whether a value is a telephone number (the phone fields, TEL properties) or other text.
enum class ValueKind { Text, Telephone };

/// Tests whether values contain one search text, with the criteria's options: the text
/// matcher for every value, and for telephone values the phone matcher when phone
/// numbers are matched in any format and the text looks like one.
class TextMatcher final
{
public:
    TextMatcher(const QString &needle, bool ignoreCase);
    TextMatcher(const QString &needle, const MatchOptions &options);

    /// An empty value contains nothing, not even the empty text.
    bool matches(QStringView value, ValueKind kind = ValueKind::Text) const
    {
        if (value.isEmpty())
            return false;
        if (kind == ValueKind::Telephone && m_phone)
            return m_phone->matches(value);
        return m_text->matches(value);
    }

    /// The search text as given.
    const QString &text() const { return m_needle; }

private:
    QString m_needle;
    std::shared_ptr<const ValueMatcher> m_text;
    std::shared_ptr<const ValueMatcher> m_phone; // null unless phone numbers are matched
};

/// Tells the card parser which values cannot contain any of the search texts,
/// so that it need not decode them. It decides only for search texts that are
/// non-empty and whose folded forms are ASCII, and not for phone-like texts when phone
/// numbers are matched in any format (separators may stand between a value's digits).
/// A value with a character outside ASCII that may fold into a text's characters, or a
/// mark that accents-free matching drops, is left to the matcher. For regular expressions
/// it looks for the literals RE2 finds that every match holds one of, and decides nothing
/// when some pattern has none.
class RawValueFilter final : public CardParser::ValueFilter
{
public:
    RawValueFilter(const QStringList &texts, bool ignoreCase);
    RawValueFilter(const QStringList &texts, const MatchOptions &options);

    /// False when the texts are of a kind this filter cannot judge.
    bool isUsable() const { return m_usable; }
    bool mayContain(QByteArrayView utf8Value) const override;

    /// False when no card of the prepared file bytes can hold a search text: the
    /// texts are not found even with folds and soft line breaks joined and every
    /// "=XX" read as its byte. Judged only for texts without blanks, backslashes,
    /// ",", ";", ":", "=", "^" and '"' (which escapes and markers could make), and not for
    /// files that name a charset that might turn bytes into other ASCII text. A large
    /// file is judged in blocks; when cancel is set on the way the answer is true. The
    /// bytes of the blocks judged with their lines joined, the slow part, are added to
    /// scanned when it is given. gather, when given, is handed every byte of a file that
    /// the answer false is given for (see CardFactsGatherer).
    bool fileMayContain(QByteArrayView bytes, const std::atomic<bool> *cancel = nullptr,
                        std::atomic<qint64> *scanned = nullptr,
                        CardFactsGatherer *gather = nullptr) const;
    /// The same judgement for one card, for files whose text without a charset is
    /// read as legacyCharset (empty: Windows-1252) when it is not UTF-8.
    bool cardMayContain(QByteArrayView card, const std::function<QByteArray()> &legacyCharset,
                        QByteArray &lines) const override;
    bool judgesJoinedVcards() const override { return true; }

private:
    void prepare(const QStringList &texts, const MatchOptions &options);
    bool containsNeedle(QByteArrayView text) const;
    bool joinedMayContain(QByteArrayView bytes, const std::function<QByteArray()> &legacyCharset,
                          QByteArray &lines) const;
    bool fileMayContainSlowly(QByteArrayView bytes, const std::atomic<bool> *cancel) const;

    std::vector<ByteSearch> m_searches; // the texts' folded forms
    FoldingTriggers m_triggers;
    // The one pass over a file's bytes, and over a card's (which also looks for VCARD
    // that joined lines make).
    JoinedScan m_fileScan;
    JoinedScan m_cardScan;
    bool m_usable = true;
    bool m_fileUsable = true;
};
