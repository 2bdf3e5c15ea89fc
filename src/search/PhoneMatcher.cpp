#include "search/PhoneMatcher.h"

#include "search/PhoneLibrary.h"

#include <QHash>
#include <QLocale>
#include <QVarLengthArray>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
using namespace Qt::StringLiterals;

namespace {

using Digits = QVarLengthArray<char16_t, 64>;

/// The decimal digits of the text in order, any script's digits read as ASCII ones.
void appendDigits(QStringView text, Digits &out)
{
    for (const QChar c : text) {
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            out.append(c.unicode());
        else if (c.unicode() >= 0x80 && c.isDigit())
            out.append(char16_t(u'0' + c.digitValue()));
    }
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'-' || c == u'.' || c == u'/' || c == u'(' || c == u')';
}

/// The characters that libphonenumber lets stand between a number's digits, without the
/// ones that may start an extension ("x", "~"): the separators above, other dashes,
/// blanks and brackets.
bool isNumberPunctuation(char16_t c)
{
    switch (c) {
    case u' ':
    case u'-':
    case u'.':
    case u'/':
    case u'(':
    case u')':
    case u'[':
    case u']':
    case u'\u00A0':
    case u'\u00AD':
    case u'\u200B':
    case u'\u2060':
    case u'\u2212':
    case u'\u2053':
    case u'\u223C':
    case u'\u3000':
    case u'\u30FC':
    case u'\uFF08':
    case u'\uFF09':
    case u'\uFF3B':
    case u'\uFF3D':
        return true;
    default:
        return (c >= u'\u2010' && c <= u'\u2015') || (c >= u'\uFF0D' && c <= u'\uFF0F');
    }
}

bool isPlusSign(char16_t c)
{
    return c == u'+' || c == u'\uFF0B';
}

// The most digits that can stand before a national number in another form of it: an
// international call prefix, a country code, a national prefix and a carrier code.
constexpr qsizetype kMostPrefixDigits = 12;
// Answers of libphonenumber kept for numbers asked again; more are not kept.
constexpr qsizetype kMostKeptAnswers = 4096;

} // namespace

struct PhoneMatcher::Number
{
    std::unique_ptr<PhoneLibrary::Number> parsed;
    std::mutex mutex;
    QHash<QString, bool> answers; // by the number as asked
};

PhoneMatcher::PhoneMatcher(const QString &needle, const QString &region)
{
    Digits digits;
    appendDigits(needle, digits);
    m_digits = QString(reinterpret_cast<const QChar *>(digits.constData()), digits.size());
    const PhoneLibrary *const library = PhoneLibrary::get();
    if (!library)
        return;
    auto number = std::make_unique<Number>();
    number->parsed = library->parse(needle.toStdString(), region.toUpper().toStdString());
    if (!number->parsed)
        return;
    m_nationalNumber = QString::fromStdString(number->parsed->national());
    if (!m_nationalNumber.isEmpty())
        m_number = std::move(number);
}

PhoneMatcher::~PhoneMatcher() = default;

bool PhoneMatcher::matches(QStringView value) const
{
    Digits digits;
    appendDigits(value, digits);
    const QStringView valueDigits(digits.constData(), digits.size());
    if (valueDigits.contains(m_digits))
        return true;
    // libphonenumber is asked only when the value's digits hold the national number,
    // as they do in every form of the same number.
    if (!m_number || !valueDigits.contains(m_nationalNumber))
        return false;
    // Its time grows faster than the text it is given: it is asked about each number the
    // value holds, never the whole value. A number is a run of digits, plus signs and the
    // punctuation between digits; letters, commas and the like end it, and so does a
    // plus sign after its first character (libphonenumber would read no number there).
    // Its digits can be those of the same number only when they end in the national
    // number after a short prefix; it is then asked as a plus sign, if it starts with
    // one, and its digits, all that libphonenumber reads of such a run.
    const qsizetype most = m_nationalNumber.size() + kMostPrefixDigits;
    Digits number; // a plus sign if the number starts with one, then its digits
    bool plus = false;
    bool afterPlus = false;
    qsizetype digitCount = 0;
    bool open = false; // a character of a number has been seen
    const auto ends = [&] {
        const bool same = digitCount <= most && digitCount >= m_nationalNumber.size()
            && QStringView(number.constData(), number.size()).endsWith(m_nationalNumber)
            && isSameNumber(QStringView(number.constData(), number.size()));
        number.clear();
        plus = afterPlus = open = false;
        digitCount = 0;
        return same;
    };
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (isPlusSign(u)) {
            // Plus signs one after the other count as one.
            if ((digitCount > 0 || (plus && !afterPlus)) && ends())
                return true;
            if (!plus)
                number.append(u'+');
            plus = afterPlus = open = true;
        } else if ((u >= u'0' && u <= u'9') || (u >= 0x80 && c.isDigit())) {
            if (++digitCount <= most)
                number.append(char16_t(u'0' + c.digitValue()));
            afterPlus = false;
            open = true;
        } else if (isNumberPunctuation(u)) {
            afterPlus = false;
            open = true;
        } else if (open && ends()) {
            return true;
        }
    }
    return open && ends();
}

bool PhoneMatcher::isSameNumber(QStringView number) const
{
    const QString key = number.toString();
    {
        const std::lock_guard lock(m_number->mutex);
        const auto known = m_number->answers.constFind(key);
        if (known != m_number->answers.cend())
            return *known;
    }
    const bool same = m_number->parsed->isSameAs(key.toStdString());
    const std::lock_guard lock(m_number->mutex);
    if (m_number->answers.size() < kMostKeptAnswers)
        m_number->answers.insert(key, same);
    return same;
}

bool PhoneMatcher::looksLikePhoneNumber(QStringView text)
{
    qsizetype digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isDigit())
            ++digits;
        else if (!isSeparator(c) && !(c == u'+' && i == 0))
            return false;
    }
    return digits >= 3;
}

bool PhoneMatcher::isKnownRegion(const QString &region)
{
    // Without the library no region is read, and its absence is said: a region is not
    // turned down for it.
    const PhoneLibrary *const library = PhoneLibrary::get();
    return !library || library->regions().contains(region.toStdString());
}

QList<PhoneMatcher::Region> PhoneMatcher::knownRegions()
{
    const PhoneLibrary *const library = PhoneLibrary::get();
    const std::set<std::string> codes = library ? library->regions() : std::set<std::string>();
    QList<Region> regions;
    regions.reserve(qsizetype(codes.size()));
    for (const std::string &code : codes) {
        const QString text = QString::fromStdString(code);
        regions.append({text, regionName(text)});
    }
    std::sort(regions.begin(), regions.end(), [](const Region &a, const Region &b) {
        const int order = QString::localeAwareCompare(a.name, b.name);
        return order != 0 ? order < 0 : a.code < b.code;
    });
    return regions;
}

QString PhoneMatcher::regionName(const QString &code)
{
    const QLocale::Territory territory = QLocale::codeToTerritory(code);
    return territory == QLocale::AnyTerritory ? code : QLocale::territoryToString(territory);
}

QString PhoneMatcher::systemRegion()
{
    const QLocale::Territory territory = QLocale::system().territory();
    const QString code
        = territory == QLocale::AnyTerritory ? QString() : QLocale::territoryToCode(territory);
    return code.size() == 2 ? code : u"ZZ"_s;
}
