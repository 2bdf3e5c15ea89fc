// Writes a deterministic corpus of vCards shaped like real exporters' output, for the
// benchmarks: vCard 2.1 with quoted-printable, 3.0, 4.0, folded lines, a photo in one
// card of ten, non-ASCII names.
//
//   quillory-bench-corpus files N DIR [SEED]      N files of one card each, 1000 per folder
//   quillory-bench-corpus cards N FILE [SEED]     one file of N cards
//   quillory-bench-corpus duplicates N DIR        N cards in files of 10,000, one in a
//                                                 hundred a planted duplicate of an earlier
//                                                 one; prints how many groups were planted
//   quillory-bench-corpus hostile SHAPE BYTES FILE  one file of a hostile shape, about BYTES long
//   quillory-bench-corpus fuzz-input SHAPE BYTES FILE  the same after the search that the
//                                                 card reader's fuzzer reads first
//   quillory-bench-corpus shapes                  the names of the hostile shapes

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "HostileShapes.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char *const kGiven[]
    = {"Anna",  "Bjørn", "Chloé",     "David", "Émile", "Fatima",  "Giulia", "Hiroshi",
       "Ines",  "José",  "Katarzyna", "Lars",  "María", "Nikolai", "Olga",   "Priya",
       "Søren", "Tomás", "Ümit",      "Wei",   "Zoë",   "Ольга",   "Νίκος",  "宏"};
const char *const kFamily[]
    = {"Andersen", "Becker",  "Castro",  "Dubois",   "Eriksson", "Fischer",  "García",
       "Hansen",   "Ivanova", "Jensen",  "Kowalski", "Müller",   "Nakamura", "O'Brien",
       "Petrov",   "Rossi",   "Schmidt", "Tanaka",   "Weiß",     "Петрова",  "Παπαδόπουλος"};
const char *const kOrgs[]
    = {"Northwind Traders", "Contoso Ltd",          "Fabrikam Inc", "Adventure Works",
       "Tailspin Toys",     "Wide World Importers", "Litware",      "Proseware",
       "Acme Biotech",      "Blue Yonder Airlines"};
const char *const kTitles[] = {"Sales Manager",  "Accountant", "Engineer", "Tech Lead", "Designer",
                               "Office Manager", "Consultant", "Director", "Analyst",   "Nurse"};

template<std::size_t N> const char *pick(QRandomGenerator &random, const char *const (&list)[N])
{
    return list[random.bounded(int(N))];
}

QByteArray quotedPrintable(const QByteArray &text)
{
    QByteArray out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 33 && b <= 126 && b != '=')
            out.append(c);
        else
            out.append('=').append(QByteArray::number(b, 16).toUpper().rightJustified(2, '0'));
    }
    return out;
}

QByteArray fold(const QByteArray &line)
{
    QByteArray out;
    for (qsizetype i = 0; i < line.size(); i += 74) {
        if (i > 0)
            out.append("\r\n ");
        out.append(line.mid(i, 74));
    }
    return out + "\r\n";
}

QByteArray card(QRandomGenerator &random, qint64 index)
{
    const QByteArray given = pick(random, kGiven);
    const QByteArray family = pick(random, kFamily);
    const QByteArray org = pick(random, kOrgs);
    const QByteArray title = pick(random, kTitles);
    const QByteArray number = QByteArray::number(index);
    const QByteArray email
        = "user" + number + "@" + QByteArray(org).replace(' ', '-').toLower() + ".example";
    const QByteArray phone = "+1 555 " + QByteArray::number(100 + random.bounded(900)) + " "
        + QByteArray::number(1000 + random.bounded(9000));
    QByteArray out;
    switch (index % 3) {
    case 0: // vCard 2.1, as older phones and Outlook write it
        out = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
        out += "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + quotedPrintable(family) + ";"
            + quotedPrintable(given) + ";;;\r\n";
        out += "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + quotedPrintable(given + " " + family)
            + "\r\n";
        out += "ORG:" + org + "\r\nTITLE:" + title + "\r\n";
        out += "TEL;WORK;VOICE:" + phone + "\r\nTEL;CELL:" + phone + "9\r\n";
        out += "EMAIL;PREF;INTERNET:" + email + "\r\n";
        out += "ADR;WORK;ENCODING=QUOTED-PRINTABLE:;;" + number + " Main Street=0D=0ABuilding "
            + number + ";Springfield;IL;62701;USA\r\n";
        out += "NOTE;ENCODING=QUOTED-PRINTABLE:Met at the fair.=0D=0AFollow up=\r\n in spring.\r\n";
        break;
    case 1: // vCard 3.0, as mail programs and address books write it
        out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        out += "N:" + family + ";" + given + ";;;\r\nFN:" + given + " " + family + "\r\n";
        out += "ORG:" + org + ";Sales\r\nTITLE:" + title + "\r\n";
        out += "item1.EMAIL;type=INTERNET;type=pref:" + email
            + "\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n";
        out += "TEL;type=WORK;type=VOICE:" + phone + "\r\n";
        out += "ADR;type=HOME:;;" + number + " Elm Road;Riverside;CA;92501;USA\r\n";
        out += fold(
            "NOTE:A note that an address book folds over two lines\\, as the format asks of "
            "long ones.");
        break;
    default: // vCard 4.0
        out = "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:individual\r\n";
        out += "FN:" + given + " " + family + "\r\nN:" + family + ";" + given + ";;;\r\n";
        out += "ORG:" + org + "\r\nTITLE:" + title + "\r\n";
        out += "EMAIL;TYPE=work:" + email + "\r\n";
        out += "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:" + QByteArray(phone).replace(' ', '-')
            + "\r\n";
        out += "URL:https://www." + QByteArray(org).replace(' ', '-').toLower() + ".example/\r\n";
        break;
    }
    if (index % 10 == 7) {
        QByteArray photo(400, Qt::Uninitialized);
        for (char &c : photo)
            c = char(random.bounded(256));
        out += fold("PHOTO;ENCODING=b;TYPE=JPEG:" + photo.toBase64());
    }
    return out + "END:VCARD\r\n";
}

// The duplicates corpus: every person has a name, a mobile number and an address of
// their own, and a work number that a thousand share (a switchboard: no duplicate).
const char *const kGivenPairs[][2]
    = {{"Chloé", "Chloe"}, {"Émile", "Emile"}, {"José", "Jose"}, {"María", "Maria"},
       {"Tomás", "Tomas"}, {"Ümit", "Umit"},   {"Zoë", "Zoe"},   {"Anna", "Anna"},
       {"David", "David"}, {"Lars", "Lars"},   {"Priya", "Priya"}, {"Wei", "Wei"}};
constexpr qint64 kGivenCount = qint64(sizeof kGivenPairs / sizeof kGivenPairs[0]);

QByteArray givenOf(qint64 person, bool plain)
{
    return kGivenPairs[person % kGivenCount][plain ? 1 : 0];
}

// Five syllables of sixteen: a family name of its own for each of 2^20 people.
QByteArray familyOf(qint64 person)
{
    static const char *const syllables[] = {"ka", "lo", "mi", "ne", "ru", "sa", "te", "vo",
                                            "bar", "den", "fil", "gor", "hun", "jas", "per", "wen"};
    quint32 code = quint32((person * 40503) & 0xFFFFF);
    QByteArray name;
    for (int k = 0; k < 5; ++k, code >>= 4)
        name += syllables[code & 15];
    name[0] = char(name[0] - 'a' + 'A');
    return name;
}

QByteArray mobileOf(qint64 person)
{
    return QByteArray::number(10000000 + person % 90000000);
}

QByteArray emailOf(qint64 person)
{
    return givenOf(person, true).toLower() + "." + familyOf(person).toLower() + "."
        + QByteArray::number(person) + "@mail.example";
}

QByteArray duplicateCard(qint64 i, bool &planted)
{
    QByteArray out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    const qint64 j = i - 5003; // the planted card's original, most often in another file
    planted = i % 100 == 99 && j > 0;
    const int variant = int((i / 100) % 4);
    if (planted && variant == 2) {
        // The same name alone, family name first, in capitals and without accents.
        out += "FN:" + familyOf(j).toUpper() + " " + givenOf(j, true) + "\r\n";
        return out + "END:VCARD\r\n";
    }
    out += "N:" + familyOf(i) + ";" + givenOf(i, false) + ";;;\r\nFN:" + givenOf(i, false) + " "
        + familyOf(i) + "\r\n";
    out += "TEL;TYPE=WORK,VOICE:+49 30 1234" + QByteArray::number(500 + i % 500) + "\r\n";
    const QByteArray mobile = mobileOf(planted && variant != 1 ? j : i);
    if (planted && variant == 0) // the national form
        out += "TEL;TYPE=HOME:0151 " + mobile.left(4) + " " + mobile.mid(4) + "\r\n";
    else if (planted && variant == 3) // a tel: URI: joins j, and i - 5004 by its address
        out += "TEL;TYPE=CELL:tel:+49-151-" + mobile + "\r\n";
    else
        out += "TEL;TYPE=CELL:+49 151 " + mobile + "\r\n";
    const QByteArray email = emailOf(planted && variant == 1 ? j : planted && variant == 3 ? j - 1 : i);
    out += "EMAIL;TYPE=INTERNET:" + (planted ? email.toUpper() : email) + "\r\n";
    out += "ORG:Northwind Traders\r\nTITLE:Engineer\r\n";
    return out + "END:VCARD\r\n";
}

int usage()
{
    std::fputs("usage: quillory-bench-corpus files N DIR [SEED] | cards N FILE [SEED]\n"
               "       quillory-bench-corpus photos N FILE [SEED]\n"
               "       quillory-bench-corpus duplicates N DIR\n"
               "       quillory-bench-corpus hostile|fuzz-input SHAPE BYTES FILE | shapes\n",
               stderr);
    return 2;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && QByteArray(argv[1]) == "shapes") {
        for (const HostileShape &shape : kHostileShapes)
            std::printf("%s\n", shape.name);
        std::printf("export\n");
        return 0;
    }
    const QByteArray command = argc == 5 ? QByteArray(argv[1]) : QByteArray();
    if (command == "hostile" || command == "fuzz-input") {
        const QByteArray name = argv[2];
        const qint64 bytes = QByteArray(argv[3]).toLongLong();
        const HostileShape *shape = findHostileShape(name);
        QByteArray out;
        if (command == "fuzz-input") {
            // The fuzzer's options byte (bit 0: ignore case, bit 1: ignore accents, bit 2:
            // phone numbers), the search text's length and the text come first.
            const HostileOption option = shape ? shape->option : HostileOption::None;
            const QByteArray text = shape ? hostileSearchText(*shape) : "e";
            out += char(1 | (option == HostileOption::IgnoreAccents ? 2 : 0)
                        | (option == HostileOption::PhoneNumbers ? 4 : 0));
            out += char(text.size()) + text;
        }
        if (name == "export") {
            // The benchmark's own cards, for comparison with the hostile shapes.
            QRandomGenerator random(1);
            for (qint64 i = 0; out.size() < bytes; ++i)
                out += card(random, i);
        } else if (shape) {
            out += hostileShape(*shape, bytes);
        } else {
            return usage();
        }
        return write(QString::fromLocal8Bit(argv[4]), out) ? 0 : 1;
    }
    if (argc < 4)
        return usage();
    const QByteArray mode = argv[1];
    const qint64 count = QByteArray(argv[2]).toLongLong();
    const QString target = QString::fromLocal8Bit(argv[3]);
    QRandomGenerator random(argc > 4 ? quint32(std::strtoul(argv[4], nullptr, 10)) : 1u);
    if (count <= 0)
        return usage();
    if (mode == "files") {
        for (qint64 i = 0; i < count; ++i) {
            const QString folder
                = target + QStringLiteral("/d%1").arg(i / 1000, 4, 10, QChar(u'0'));
            if (i % 1000 == 0 && !QDir().mkpath(folder))
                return 1;
            if (!write(folder + QStringLiteral("/card%1.vcf").arg(i, 7, 10, QChar(u'0')),
                       card(random, i)))
                return 1;
        }
        return 0;
    }
    if (mode == "cards") {
        QByteArray all;
        for (qint64 i = 0; i < count; ++i)
            all += card(random, i);
        return write(target, all) ? 0 : 1;
    }
    if (mode == "photos") {
        // Cards that each carry a photo of about 15,000 bytes, as phones export them: its
        // base64 folds over some 270 lines and ends in "=" or "==" for two in three.
        QByteArray all;
        for (qint64 i = 0; i < count; ++i) {
            QByteArray photo(15000 + int(i % 3), Qt::Uninitialized);
            for (char &c : photo)
                c = char(random.bounded(256));
            const QByteArray n = QByteArray::number(i);
            all += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Person" + n + ";Test;;;\r\nFN:Test Person" + n
                + "\r\nEMAIL;TYPE=work:p" + n + "@example.org\r\n"
                + fold("PHOTO;ENCODING=b;TYPE=JPEG:" + photo.toBase64()) + "END:VCARD\r\n";
        }
        return write(target, all) ? 0 : 1;
    }
    if (mode == "duplicates") {
        if (!QDir().mkpath(target))
            return 1;
        constexpr qint64 perFile = 10000;
        qint64 groups = 0;
        for (qint64 first = 0; first < count; first += perFile) {
            QByteArray all;
            for (qint64 i = first; i < qMin(count, first + perFile); ++i) {
                bool planted = false;
                all += duplicateCard(i, planted);
                groups += planted ? 1 : 0;
            }
            if (!write(target + QStringLiteral("/dup%1.vcf").arg(first / perFile, 4, 10, QChar(u'0')),
                       all))
                return 1;
        }
        std::printf("planted %lld groups\n", static_cast<long long>(groups));
        return 0;
    }
    return usage();
}
