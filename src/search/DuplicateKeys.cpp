#include "search/DuplicateKeys.h"

#include "card/ContactFields.h"
#include "search/FieldMatching.h"
#include "search/PhoneLibrary.h"
#include "search/TextFolding.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <string>
using namespace Qt::StringLiterals;

namespace {

// A national number of fewer digits is too short to tell one line from another.
constexpr qsizetype kShortestNumber = 7;
// Separates the parts of a key's normal form.
constexpr char16_t kPartSeparator = u'\x1f';

quint64 keyHash(DuplicateKind kind, QStringView form)
{
    return quint64(qHashBits(form.data(), std::size_t(form.size()) * sizeof(char16_t),
                             std::size_t(0x9e3779b97f4a7c15ULL) + std::size_t(kind)));
}

/// The fields keys come from, as indexes into searchedContactFields().
struct KeyFields
{
    std::vector<std::size_t> phones;
    std::vector<bool> switchboard; // per phone field: a work number or a fax
    std::size_t emails = 0;
    std::size_t lastName = 0;
};

const KeyFields &keyFields()
{
    static const KeyFields fields = [] {
        KeyFields table;
        const auto &searched = searchedContactFields();
        const auto &kinds = searchedFieldKinds();
        for (std::size_t f = 0; f < searched.size(); ++f) {
            const QLatin1StringView name = searched[f].name;
            if (kinds[f] == ValueKind::Telephone) {
                table.phones.push_back(f);
                table.switchboard.push_back(name == "BusinessPhones"_L1 || name == "HomeFax"_L1);
            } else if (name == "Emails"_L1) {
                table.emails = f;
            } else if (name == "LastName"_L1) {
                table.lastName = f;
            }
        }
        return table;
    }();
    return fields;
}

/// The values of a field: a text field's one value or a list's elements, with the
/// position its tag shows (0 for a text field or a list of one).
template<typename Each> void forEachValue(const ContactFields &card, std::size_t f, Each &&each)
{
    const ContactFieldInfo &field = searchedContactFields()[f];
    if (!field.isList()) {
        each(QStringView(card.*field.text), 0);
        return;
    }
    const TextList &values = card.*field.list;
    for (qsizetype p = 0; p < values.size(); ++p)
        each(values.at(p), values.size() == 1 ? 0 : int(qMin<qsizetype>(p + 1, 0xFFFF)));
}

// Numbers read on a thread are kept for values seen again (a switchboard, a household's
// number), up to this many; libphonenumber's reading costs microseconds a number.
constexpr qsizetype kKeptNumbers = 8192;
constexpr qsizetype kLongestPhoneValue = 250;

QString readE164(QStringView value, const std::string &region);

/// The number in E.164, or nothing when libphonenumber cannot read it as a possible
/// number of enough digits.
QString e164Of(QStringView value, const std::string &region)
{
    // libphonenumber's reading of a value grows with the square of its length: a value
    // longer than the 250 characters it allows a number is none.
    if (value.size() > kLongestPhoneValue)
        return {};
    bool digit = false;
    for (const QChar c : value)
        digit = digit || c.isDigit();
    if (!digit)
        return {};
    thread_local QHash<QString, QString> kept;
    thread_local std::string keptRegion;
    if (keptRegion != region || kept.size() >= kKeptNumbers) {
        kept.clear();
        keptRegion = region;
    }
    const QString key = value.toString();
    if (const auto known = kept.constFind(key); known != kept.cend())
        return *known;
    QString number = readE164(value, region);
    kept.insert(key, number);
    return number;
}

/// A number in international form written plainly ("+49 176 1234-5678", "tel:+1-555-0100"),
/// read without libphonenumber's parser, whose regular expressions cost most of the
/// time: the country code is the one of one to three digits that names a region, the
/// rest the national number. Nothing when the value is not of that form, or when its
/// national number starts with 0 (a national prefix written after the country code) or
/// its country code is one whose numbers the parser rewrites (a carrier or mobile token
/// in Argentina, Brazil, Colombia and Mexico): the parser reads those.
std::optional<QString> plainInternational(QStringView value)
{
    if (value.startsWith(u"tel:"_s, Qt::CaseInsensitive))
        value = value.sliced(4);
    value = value.trimmed();
    if (value.size() < 2 || value.front() != u'+')
        return std::nullopt;
    std::string digits;
    for (const QChar c : value.sliced(1)) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            digits.push_back(char(u));
        else if (u != u' ' && u != u'-' && u != u'.' && u != u'/' && u != u'(' && u != u')')
            return std::nullopt;
    }
    if (digits.size() > 17)
        return std::nullopt;
    const PhoneLibrary *const library = PhoneLibrary::get();
    if (!library)
        return std::nullopt;
    for (std::size_t length = 1; length <= 3 && length < digits.size(); ++length) {
        const int code = std::stoi(digits.substr(0, length));
        if (library->regionOf(code) == "ZZ")
            continue;
        const std::string national = digits.substr(length);
        if (national.front() == '0' || code == 52 || code == 54 || code == 55 || code == 57)
            return std::nullopt;
        if (qsizetype(national.size()) < kShortestNumber)
            return QString();
        if (!library->make(code, std::stoull(national))->isPossible())
            return QString();
        return QString(u'+' + QString::fromStdString(digits));
    }
    return std::nullopt;
}

QString readE164(QStringView value, const std::string &region)
{
    if (const std::optional<QString> plain = plainInternational(value))
        return *plain;
    const PhoneLibrary *const library = PhoneLibrary::get();
    const std::unique_ptr<PhoneLibrary::Number> number
        = library ? library->parse(value.toString().toStdString(), region) : nullptr;
    if (!number || qsizetype(number->national().size()) < kShortestNumber || !number->isPossible())
        return {};
    return QString::fromStdString(number->format(PhoneLibrary::Form::E164));
}

QString emailFormOf(QStringView value)
{
    QStringView address = value.trimmed();
    if (address.startsWith(u"mailto:"_s, Qt::CaseInsensitive))
        address = address.sliced(7).trimmed();
    if (!address.contains(u'@') || address.size() < 3)
        return {};
    return address.toString().toCaseFolded();
}

void appendWords(const QString &text, QStringList &words)
{
    const QString folded = foldedText(text, {true, true});
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool inWord = i < folded.size() && folded.at(i).isLetterOrNumber();
        if (inWord && start < 0)
            start = i;
        else if (!inWord && start >= 0) {
            words.append(folded.sliced(start, i - start));
            start = -1;
        }
    }
}

} // namespace

void FileDuplicateKeys::append(FileDuplicateKeys &&later)
{
    const qsizetype contactShift = contacts.size();
    const auto addressShift = quint64(addresses.size());
    const auto cardShift = quint32(cards.size());
    contacts.append(later.contacts);
    addresses.append(later.addresses);
    later.keys.takeEach([&](DuplicateKey key) {
        key.card += cardShift;
        if (key.kind == DuplicateKind::Email)
            key.value += addressShift;
        keys.push_back(key);
    });
    later.cards.takeEach([&](Card card) {
        card.contactAt += contactShift;
        cards.push_back(card);
    });
    later = {};
}

DuplicateKeyMaker::DuplicateKeyMaker(const QString &region) : m_region(region.toUpper()) {}

QStringList DuplicateKeyMaker::nameWords(const ContactFields &card)
{
    QStringList words;
    // With N the family and given names (the latter may be FN's, when it came later);
    // without it FN alone.
    appendWords(card.LastName, words);
    appendWords(card.FirstName, words);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    if (words.size() < 2)
        words.clear();
    return words;
}

QString DuplicateKeyMaker::shownNumber(const QString &e164)
{
    const PhoneLibrary *const library = PhoneLibrary::get();
    const std::unique_ptr<PhoneLibrary::Number> number
        = library ? library->parse(e164.toStdString(), "ZZ") : nullptr;
    return number ? QString::fromStdString(number->format(PhoneLibrary::Form::International))
                  : e164;
}

void DuplicateKeyMaker::addCard(const ContactFields &card, const CardPlace &place,
                                const QString &contact, FileDuplicateKeys &out) const
{
    const auto index = quint32(out.cards.size());
    const std::size_t firstKey = out.keys.size();
    const qsizetype addressesBefore = out.addresses.size();
    const auto addKey = [&](DuplicateKind kind, quint64 hash, std::size_t field, int position,
                            quint64 value) {
        out.keys.push_back({hash, value, index, kind, quint8(field), quint16(position)});
    };

    const KeyFields &fields = keyFields();
    const QStringList words = nameWords(card);
    const QString name = words.join(kPartSeparator);
    const std::string region = m_region.toStdString();
    for (std::size_t i = 0; i < fields.phones.size(); ++i) {
        forEachValue(card, fields.phones[i], [&](QStringView value, int position) {
            const QString number = e164Of(value, region);
            if (number.isEmpty())
                return;
            const QString form
                = fields.switchboard[i] ? number + kPartSeparator + name : number;
            // E.164: "+" and 17 digits at most, which a 64-bit number holds.
            addKey(DuplicateKind::Phone, keyHash(DuplicateKind::Phone, form), fields.phones[i],
                   position, QStringView(number).sliced(1).toULongLong());
        });
    }
    forEachValue(card, fields.emails, [&](QStringView value, int position) {
        const QString address = emailFormOf(value);
        if (address.isEmpty())
            return;
        addKey(DuplicateKind::Email, keyHash(DuplicateKind::Email, address), fields.emails,
               position, quint64(out.addresses.size()));
        out.addresses.append(address.toUtf8());
        out.addresses.append('\0');
    });
    if (!words.isEmpty())
        addKey(DuplicateKind::Name, keyHash(DuplicateKind::Name, name), fields.lastName, 0, 0);
    // A card without a key can join no group: it is not kept.
    if (out.keys.size() == firstKey) {
        out.addresses.truncate(addressesBefore);
        return;
    }
    out.cards.push_back({place, out.contacts.size()});
    out.contacts.append(contact.toUtf8());
}
