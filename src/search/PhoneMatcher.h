#pragma once

#include "search/ValueMatcher.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <memory>

/// "Phone numbers in any format": a telephone value matches when its digits hold the
/// search text's digits, or when libphonenumber finds them the same number (an exact or
/// a national-number match: "017612345678" read in Germany is "+49 176 1234-5678").
/// A number that is only a shorter form of the other (a local number without its area
/// code) does not match: it would find the same local number in every other area. Each
/// number within a value is weighed on its own; libphonenumber's answers are kept, under
/// a lock, for the threads that share the matcher.
class PhoneMatcher final : public ValueMatcher
{
public:
    /// region: two letters, the region numbers without a country code are read in.
    PhoneMatcher(const QString &needle, const QString &region);
    ~PhoneMatcher() override;

    bool matches(QStringView value) const override;

    /// True for a text of digits, an optional leading "+" and the separators space,
    /// "-", ".", "/", "(" and ")", with at least three digits.
    static bool looksLikePhoneNumber(QStringView text);
    /// True for a two-letter region, in capitals, that libphonenumber has numbering
    /// rules for ("DE", "US"); false for the rest ("ZZ", "XX", "de"). True for any when
    /// the library could not be loaded (numbers are then compared by their digits).
    static bool isKnownRegion(const QString &region);
    /// A region that libphonenumber has numbering rules for.
    struct Region
    {
        QString code; ///< two capital letters
        QString name; ///< the territory's English name, or the code where Qt knows none
    };
    /// Every region that libphonenumber has numbering rules for, sorted by name.
    static QList<Region> knownRegions();
    /// The English name of the region with this code, or the code where Qt knows none.
    static QString regionName(const QString &code);
    /// The two-letter region of the system's locale; "ZZ" (unknown) when it has none.
    static QString systemRegion();

private:
    struct Number;

    /// What libphonenumber says of one number of a value, as a plus sign or none and
    /// ASCII digits; the answers are kept for numbers asked again.
    bool isSameNumber(QStringView number) const;

    QString m_digits;
    QString m_nationalNumber; // of the parsed needle; empty when it does not parse
    std::unique_ptr<Number> m_number;
};
