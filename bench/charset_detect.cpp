// Compares two charset detectors, uchardet and ICU's, on the text a card file holds
// without a charset: the values of the lines that are not UTF-8 and name no CHARSET.
//
//   quillory-bench-charsets [CORPUS_DIR] [ORACLE_JSON]
//
// Part one reads the real-world files (when CORPUS_DIR is given) and prints, per file
// that has such lines, what each detector says and whether reading the bytes with that
// answer gives the file's true text and the oracle's text. Part two writes sample cards
// in seven legacy charsets (one card, and files of ten cards) and counts the right
// answers per detector, per charset and per size, then the right answers of a few rules
// that combine a detector with a fallback to Windows-1252.

#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/CharsetDetection.h"

#include <QByteArray>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <uchardet/uchardet.h>
#include <unicode/ucsdet.h>

#include <cstdio>
#include <functional>

namespace {

using namespace cardreader;

struct Answer
{
    QByteArray charset;
    int confidence = -1; // ICU's 0 to 100; uchardet 0.0.7 gives none
};

Answer askUchardet(const QByteArray &bytes)
{
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, bytes.constData(), size_t(bytes.size()));
    uchardet_data_end(detector);
    Answer answer{uchardet_get_charset(detector)};
    uchardet_delete(detector);
    return answer;
}

Answer askIcu(const QByteArray &bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    ucsdet_setText(detector, bytes.constData(), int32_t(bytes.size()), &status);
    const UCharsetMatch *match = ucsdet_detect(detector, &status);
    Answer answer;
    if (U_SUCCESS(status) && match) {
        answer.charset = ucsdet_getName(match, &status);
        answer.confidence = ucsdet_getConfidence(match, &status);
    }
    ucsdet_close(detector);
    return answer;
}

/// The text of the bytes in the charset, or a null string when the charset is
/// unknown or does not read ASCII as ASCII (such a charset cannot hold a card's lines).
QString decodeIn(const QByteArray &bytes, const QByteArray &charset)
{
    QStringDecoder probe(charset.constData(), QStringConverter::Flag::Stateless);
    if (charset.isEmpty() || !probe.isValid())
        return {};
    QByteArray ascii("\t\n\r");
    for (char c = ' '; c < 0x7F; ++c)
        ascii.append(c);
    if (QString(probe.decode(ascii)) != QString::fromLatin1(ascii))
        return {};
    QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray encodeIn(const QString &text, const QByteArray &charset)
{
    QStringEncoder encoder(charset.constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        qFatal("Qt cannot write %s", charset.constData());
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError() || decodeIn(bytes, charset) != text)
        qFatal("%s cannot hold: %s", charset.constData(), qPrintable(text));
    return bytes;
}

/// A rule: the charset the reader takes for a file, from both answers.
struct Rule
{
    const char *name;
    std::function<QByteArray(const Answer &uchardet, const Answer &icu, const QByteArray &fed)>
        choose;
};

/// A detector's answer that the reader can use, else Windows-1252. ISO-8859-1 is
/// read as its superset Windows-1252.
QByteArray usable(const Answer &answer, int minConfidence = 0)
{
    if (answer.confidence >= 0 && answer.confidence < minConfidence)
        return "windows-1252";
    if (answer.charset.compare("ISO-8859-1", Qt::CaseInsensitive) == 0
        || decodeIn("", answer.charset).isNull())
        return "windows-1252";
    return answer.charset;
}

/// True when the charset's only single-byte Latin reading competes with Windows-1252:
/// for these a short sample of German or French text is often taken for its neighbour.
bool isLatinNeighbour(const QByteArray &charset)
{
    static const QByteArrayList names
        = {"iso-8859-2",   "iso-8859-3",   "iso-8859-4",        "iso-8859-9",   "iso-8859-10",
           "iso-8859-13",  "iso-8859-15",  "iso-8859-16",       "windows-1250", "windows-1254",
           "windows-1257", "windows-1258", "mac-centraleurope", "ibm852",       "viscii"};
    return names.contains(charset.toLower());
}

/// The reader's own rule.
QByteArray chosen(const QByteArray &fed)
{
    const QByteArray name = detectCharset(fed);
    return name.isEmpty() ? QByteArray("windows-1252") : name;
}

const QList<Rule> &rules()
{
    static const QList<Rule> list = {
        {"Windows-1252 always (today)",
         [](const Answer &, const Answer &, const QByteArray &) {
             return QByteArray("windows-1252");
         }},
        {"uchardet", [](const Answer &u, const Answer &, const QByteArray &) { return usable(u); }},
        {"ICU", [](const Answer &, const Answer &i, const QByteArray &) { return usable(i); }},
        {"ICU, confidence >= 30",
         [](const Answer &, const Answer &i, const QByteArray &) { return usable(i, 30); }},
        {"ICU, confidence >= 50",
         [](const Answer &, const Answer &i, const QByteArray &) { return usable(i, 50); }},
        {"uchardet, a Latin neighbour read as Windows-1252",
         [](const Answer &u, const Answer &, const QByteArray &) {
             const QByteArray c = usable(u);
             return isLatinNeighbour(c) ? QByteArray("windows-1252") : c;
         }},
        {"uchardet, a Latin neighbour only where Windows-1252 fails",
         [](const Answer &u, const Answer &, const QByteArray &fed) {
             const QByteArray c = usable(u);
             return isLatinNeighbour(c) && !windows1252ReadingFails(fed)
                 ? QByteArray("windows-1252")
                 : c;
         }},
        {"ICU, a Latin neighbour only where Windows-1252 fails",
         [](const Answer &, const Answer &i, const QByteArray &fed) {
             const QByteArray c = usable(i);
             return isLatinNeighbour(c) && !windows1252ReadingFails(fed)
                 ? QByteArray("windows-1252")
                 : c;
         }},
        {"detectCharset: uchardet for other scripts, else ICU as above",
         [](const Answer &, const Answer &, const QByteArray &fed) { return chosen(fed); }},
    };
    return list;
}

// ---- Part one: the real-world files ----

/// The charset each corpus file's unlabelled lines are truly in, by reading their words
/// (the oracle guesses Windows-1252 where a file names none).
const QMap<QString, QByteArray> &corpusTruth()
{
    static const QMap<QString, QByteArray> truth = {
        {QStringLiteral("folkerkinzel-vcards/AnsiIssue.vcf"), "windows-1252"},
        {QStringLiteral("folkerkinzel-vcards/AnsiIssueInvalidEncoding.vcf"), "windows-1252"},
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/German.vcf"), "windows-1252"},
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/Murks.vcf"), "windows-1252"},
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/v3Ansi.vcf"), "windows-1252"},
        {QStringLiteral("ical4j-vcard/vcard-vCards-SAP.vcf"), "windows-1252"},
        // Its UTF-8 twin Utf-8/Greek.vcf, and the CHARSET of its LABEL line.
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/Greek.vcf"), "windows-1253"},
        // Its UTF-8 twin Utf-8/Hebrew.vcf: the name is in Hebrew letters.
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/Hebrew.vcf"), "windows-1255"},
        {QStringLiteral("folkerkinzel-vcards/MultiAnsiFilterTests/Ukrainian.vcf"), "windows-1251"},
        // "Krak\xF3w, ma\xB3opolskie": Kraków, małopolskie.
        {QStringLiteral("ical4j-vcard/vcard-antoni-outlook2003.vcf"), "windows-1250"},
    };
    return truth;
}

/// True when every ';'-separated part of every decoded value occurs in the oracle's
/// reading of the file.
bool oracleHolds(const QString &decoded, const QString &oracle)
{
    for (const QString &line : decoded.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        for (QString part : line.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            part = part.trimmed();
            part.replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"));
            if (!part.isEmpty() && !oracle.contains(part))
                return false;
        }
    return true;
}

void corpusPart(const QString &dir, const QString &oraclePath)
{
    QJsonObject oracleFiles;
    QFile oracleFile(oraclePath);
    if (oracleFile.open(QIODevice::ReadOnly))
        oracleFiles = QJsonDocument::fromJson(oracleFile.readAll())
                          .object()
                          .value(QStringLiteral("files"))
                          .toObject();
    std::printf("## Real-world files with unlabelled non-UTF-8 lines\n\n");
    std::printf("| file | fed bytes | truth | uchardet | ICU (confidence) | detectCharset | right: "
                "uchardet, ICU, detectCharset | oracle's text: uchardet, ICU, detectCharset | "
                "the reader takes |\n|---|---|---|---|---|---|---|---|---|\n");
    QStringList paths;
    QDirIterator it(dir, {QStringLiteral("*.vcf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    for (const QString &path : std::as_const(paths)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const CardBytes text = prepareCardBytes(file.readAll());
        if (text.isUnicode())
            continue;
        const QByteArray fed = unlabelledBytes(text.bytes);
        if (fed.isEmpty())
            continue;
        const QString name = path.mid(dir.size() + 1);
        const QString truth = decodeIn(fed, corpusTruth().value(name, "?"));
        const Answer u = askUchardet(fed);
        const Answer i = askIcu(fed);
        const QString oracle = QString::fromUtf8(
            QJsonDocument(oracleFiles.value(name).toObject()).toJson(QJsonDocument::Compact));
        QString right, asOracle;
        for (const QByteArray &answer : {usable(u), usable(i), chosen(fed)}) {
            const QString decoded = decodeIn(fed, answer);
            right += decoded == truth ? QStringLiteral("yes ") : QStringLiteral("no ");
            asOracle
                += oracleHolds(decoded, oracle) ? QStringLiteral("yes ") : QStringLiteral("no ");
        }
        // A file that names an ASCII-compatible charset is read in it: the detectors are
        // not asked.
        const QByteArray takes = CardParser::legacyCharset(text.bytes);
        std::printf("| %s | %lld | %s | %s | %s (%d) | %s | %s | %s | %s |\n", qPrintable(name),
                    qlonglong(fed.size()), corpusTruth().value(name, "?").constData(),
                    u.charset.constData(), i.charset.constData(), i.confidence,
                    detectCharset(fed).constData(), qPrintable(right.trimmed()),
                    qPrintable(asOracle.trimmed()),
                    takes.isEmpty() ? "windows-1252" : takes.constData());
    }
    std::printf("\n");
}

// ---- Part two: sample cards ----

struct Language
{
    const char *column;
    const char *charset;
    const char *label;
    QStringList given, family, streets, cities, orgs, titles, notes;
    bool familyFirst = false; // names written family name first, without a space
};

QStringList words(const char *list)
{
    return QString::fromUtf8(list).split(QLatin1Char('|'));
}

/// The Russian sample words, written in either Cyrillic charset.
Language russian(const char *charset)
{
    return {
        charset,
        charset,
        "Russian",
        words("Сергей|Анна|Дмитрий|Елена|Алексей|Ольга|Михаил|Татьяна|Юрий|Наталья"),
        words("Иванов|Смирнова|Кузнецов|Попова|Соколов|Лебедева|Козлов|Новикова|Морозов|Волкова"),
        words("ул. Ленина, д. 5, кв. 12|Тверская ул., д. 7|Невский проспект, д. 28|ул. Гагарина, "
              "д. 14|Садовая ул., д. 3"),
        words("Москва|Санкт-Петербург|Новосибирск|Екатеринбург|Казань|Самара"),
        words("ООО Ромашка|Газпром|Сбербанк|Северсталь|Аэрофлот"),
        words("Главный бухгалтер|Менеджер по продажам|Инженер|Директор|Юрист"),
        words("Позвонить после обеда|День рождения в мае|Коллега по работе|Встреча в "
              "четверг")};
}

const QList<Language> &languages()
{
    static const QList<Language> list = {
        {"Shift_JIS", "Shift_JIS", "Japanese",
         words("太郎|花子|健一|美咲|翔太|陽子|大輔|由美|誠|恵|直樹|さくら"),
         words("佐藤|鈴木|高橋|田中|渡辺|伊藤|山本|中村|小林|加藤|吉田|山口"),
         words("西新宿2-8-1|丸の内1-9-2|梅田3-1-3|栄4-5-6|中央区天神1-1|桜木町2丁目"),
         words("新宿区|千代田区|大阪市北区|名古屋市中区|福岡市|横浜市"),
         words("株式会社山田商事|東京電機株式会社|日本物産|みずほ銀行|大阪ガス"),
         words("営業部長|課長|主任|システムエンジニア|代表取締役"),
         words("来週の会議について連絡すること|誕生日は三月です|大学時代の友人|携帯は夜のみ"),
         true},
        {"GBK", "GBK", "Chinese (simplified)", words("伟|芳|娜|秀英|敏|静|丽|强|磊|军|洋|艳"),
         words("王|李|张|刘|陈|杨|赵|黄|周|吴|徐|孙"),
         words("建国路88号|南京东路100号|天河路385号|人民路12号|中山大道西8号"),
         words("北京市朝阳区|上海市黄浦区|广州市天河区|成都市锦江区|武汉市"),
         words("华为技术有限公司|中国银行|北京大学|阿里巴巴集团|中国移动"),
         words("总经理|销售经理|工程师|会计|项目主管"),
         words("下周一开会|请回电话|老同学|生日在十月|周末不方便联系"), true},
        {"Big5", "Big5", "Chinese (traditional)",
         words("志明|淑芬|建宏|美玲|俊傑|雅婷|家豪|怡君|冠宇|欣怡"),
         words("陳|林|黃|張|李|王|吳|劉|蔡|楊|許|鄭"),
         words("信義路五段7號|中山北路二段45號|忠孝東路四段100號|民生路12號|成功路3段8號"),
         words("台北市信義區|台中市西屯區|高雄市前鎮區|台南市東區|新竹市"),
         words("台灣積體電路製造股份有限公司|國泰人壽|中華電信|統一企業|長榮航空"),
         words("經理|工程師|業務代表|會計師|董事長"),
         words("下週開會|請回電|大學同學|生日在十月|週末請勿打擾"), true},
        russian("windows-1251"),
        russian("KOI8-R"),
        {"ISO-8859-2", "ISO-8859-2", "Polish and Czech",
         words(
             "Łukasz|Małgorzata|Paweł|Agnieszka|Michał|Katarzyna|Jiří|Petra|Tomáš|Zuzana|Wojciech|"
             "Žaneta"),
         words("Kowalski|Wiśniewska|Wójcik|Kamiński|Lewandowska|Zieliński|Woźniak|Dąbrowski|"
               "Dvořák|Nováková|Černý|Procházka|Kučera"),
         words("ul. Świętokrzyska 12|ul. Żeromskiego 5|al. Jerozolimskie 44|Václavské náměstí "
               "12|Křižíkova 8|ul. Długa 3"),
         words("Kraków|Łódź|Wrocław|Gdańsk|Poznań|Praha|Brno|Plzeň|České Budějovice"),
         words("Przedsiębiorstwo Handlowe Żuraw|Škoda Auto|Łódzkie Zakłady Mięsne|Česká "
               "spořitelna|Orlen"),
         words("Kierownik działu|Księgowa|Inženýr|Ředitel|Specjalista ds. sprzedaży"),
         words("Zadzwonić w przyszłym tygodniu|Spotkanie w środę|Narozeniny v květnu|Kolega ze "
               "studiów")},
        {"windows-1252", "windows-1252", "German, French and Spanish",
         words("Jürgen|Jörg|Sören|Björn|François|Hélène|Zoé|José|María|Íñigo|Begoña|Anaïs|Ana|"
               "Thomas"),
         words("Müller|Schröder|Weiß|Jäger|Köhler|Lefèvre|Dubois|Gérard|Muñoz|Peña|Núñez|García|"
               "Ibáñez|Schmidt"),
         words("Hauptstraße 5|Königsallee 12|Mühlenweg 3|7 rue de la Paix|12 rue des Écoles|Calle "
               "Mayor 4|Avenida de la Constitución 8|Plaza de España 1"),
         words("München|Köln|Düsseldorf|Genève|Besançon|Orléans|Málaga|Córdoba|A Coruña|Paris"),
         words("Bäckerei Schäfer GmbH|Société Générale|Café Lumière|Telefónica|Müller & Söhne KG"),
         words("Geschäftsführer|Directeur général|Jefe de ventas|Sachbearbeiterin|Ingénieur"),
         words("Rückruf erwünscht|Rendez-vous à déjeuner mercredi|Cumpleaños en diciembre|Preis "
               "120 € pro Stück|„Œuvres complètes“ ausleihen|Anniversaire en août")},
        {"windows-1252 sparse", "windows-1252", "German, one accented name a card",
         words("Thomas|Anna|Peter|Julia|Michael|Sabine|Stefan|Claudia|Frank|Petra"),
         words("Müller|Schröder|Jäger|Köhler|Groß|Krüger|Wöhler|Hoß|Bäcker|Lüdtke"),
         words("Hauptstrasse 5|Bahnhofstr. 12|Am Markt 3|Lindenweg 7|Schulstrasse 21"),
         words("Berlin|Hamburg|Bremen|Hannover|Stuttgart|Dresden|Leipzig|Bonn"),
         words("Schmidt GmbH|Autohaus Weber|Stadtwerke|Sparkasse|Meyer & Partner"),
         words("Vertrieb|Einkauf|Buchhaltung|Projektleiter|Assistenz"),
         words("Kunde seit 2015|Tennisclub|Nachbar|Schwager von Peter")},
    };
    return list;
}

template<typename T> const T &pick(QRandomGenerator &random, const QList<T> &list)
{
    return list.at(random.bounded(int(list.size())));
}

/// One card of 8 to 13 lines, vCard 2.1 as older phones and Outlook wrote it, no CHARSET.
QString sampleCard(QRandomGenerator &random, const Language &language)
{
    const QString given = pick(random, language.given);
    const QString family = pick(random, language.family);
    const QString fn = language.familyFirst ? QString(family + given)
                                            : QString(given + QLatin1Char(' ') + family);
    QString card = QStringLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\n");
    card += QStringLiteral("N:%1;%2;;;\r\nFN:%3\r\n").arg(family, given, fn);
    if (random.bounded(2))
        card += QStringLiteral("ORG:%1\r\n").arg(pick(random, language.orgs));
    if (random.bounded(2))
        card += QStringLiteral("TITLE:%1\r\n").arg(pick(random, language.titles));
    card += QStringLiteral("TEL;CELL:+%1 %2\r\n")
                .arg(random.bounded(10, 99))
                .arg(random.bounded(1000000, 9999999));
    if (random.bounded(2))
        card += QStringLiteral("TEL;WORK;VOICE:%1\r\n").arg(random.bounded(1000000, 9999999));
    card += QStringLiteral("ADR;WORK:;;%1;%2;;%3;\r\n")
                .arg(pick(random, language.streets), pick(random, language.cities))
                .arg(random.bounded(10000, 99999));
    card += QStringLiteral("EMAIL;INTERNET:contact%1@example.com\r\n").arg(random.bounded(1000));
    if (random.bounded(3))
        card += QStringLiteral("NOTE:%1\r\n").arg(pick(random, language.notes));
    return card + QStringLiteral("END:VCARD\r\n");
}

struct Tally
{
    int right = 0;
    int total = 0;
    QMap<QByteArray, int> wrong;

    void add(bool ok, const QByteArray &answer)
    {
        ++total;
        if (ok)
            ++right;
        else
            ++wrong[answer.isEmpty() ? QByteArray("(none)") : answer];
    }
    QString text() const
    {
        QString s = QStringLiteral("%1/%2").arg(right).arg(total);
        QStringList misses;
        for (auto it = wrong.cbegin(); it != wrong.cend(); ++it)
            misses.append(
                QStringLiteral("%1 %2").arg(QString::fromLatin1(it.key())).arg(it.value()));
        if (misses.isEmpty())
            return s;
        return s + QStringLiteral(" (") + misses.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
};

QString ruleKey(const Rule &rule, const char *charset, int size)
{
    return QStringLiteral("%1|%2|%3")
        .arg(QString::fromLatin1(rule.name), QString::fromLatin1(charset))
        .arg(size);
}

void samplePart()
{
    const int trials = 100;
    const int sizes[] = {1, 10};
    QRandomGenerator random(20240515);
    QMap<QString, Tally> raw; // "detector|charset|size"
    QMap<QString, Tally> byRule; // "rule|charset"
    QMap<QString, Tally> ruleTotal; // "rule"
    std::printf("## Sample cards without CHARSET: raw answers right\n\n");
    std::printf("%d cards and %d files of 10 cards per charset; an answer is right when the "
                "fed bytes decode in it to the written text (ISO-8859-1 is read as "
                "Windows-1252).\n\n",
                trials, trials);
    std::printf("| charset | cards | uchardet | ICU |\n|---|---|---|---|\n");
    for (const Language &language : languages()) {
        for (const int size : sizes) {
            Tally u, i;
            for (int trial = 0; trial < trials; ++trial) {
                QByteArray fed;
                while (fed.isEmpty()) {
                    QString text;
                    for (int c = 0; c < size; ++c)
                        text += sampleCard(random, language);
                    fed = unlabelledBytes(encodeIn(text, language.charset));
                }
                const QString truth = decodeIn(fed, language.charset);
                const Answer ua = askUchardet(fed);
                const Answer ia = askIcu(fed);
                u.add(decodeIn(fed, usable(ua)) == truth, ua.charset);
                i.add(decodeIn(fed, usable(ia)) == truth, ia.charset);
                for (const Rule &rule : rules()) {
                    const QByteArray chosen = rule.choose(ua, ia, fed);
                    byRule[ruleKey(rule, language.column, size)].add(decodeIn(fed, chosen) == truth,
                                                                     chosen);
                    ruleTotal[ruleKey(rule, "", size)].add(decodeIn(fed, chosen) == truth, {});
                }
            }
            std::printf("| %s (%s) | %d | %s | %s |\n", language.column, language.label, size,
                        qPrintable(u.text()), qPrintable(i.text()));
        }
    }
    std::printf("\n## Rules: right answers per charset\n\n| rule | cards |");
    for (const Language &language : languages())
        std::printf(" %s |", language.column);
    std::printf(" all |\n|---|---|");
    for (qsizetype c = 0; c <= languages().size(); ++c)
        std::printf("---|");
    std::printf("\n");
    for (const Rule &rule : rules())
        for (const int size : sizes) {
            std::printf("| %s | %d |", rule.name, size);
            for (const Language &language : languages()) {
                const Tally &t = byRule[ruleKey(rule, language.column, size)];
                std::printf(" %d/%d |", t.right, t.total);
            }
            const Tally &t = ruleTotal[ruleKey(rule, "", size)];
            std::printf(" %d/%d |\n", t.right, t.total);
        }
    std::printf("\nThe rules' answers on Windows-1252 cards, where wrong:\n\n");
    for (const Rule &rule : rules())
        for (const char *column : {"windows-1252", "windows-1252 sparse"})
            for (const int size : sizes)
                if (const Tally &t = byRule[ruleKey(rule, column, size)]; t.right < t.total)
                    std::printf("- %s, %s, %d: %s\n", rule.name, column, size,
                                qPrintable(t.text()));
}

/// The time one detection takes: for one card, and at the most, for a file with more
/// legacy text than is fed.
void costPart()
{
    QRandomGenerator random(7);
    std::printf("\n| file | fed bytes | one detection |\n|---|---|---|\n");
    for (const Language &language : {languages().at(0), languages().at(6)}) {
        for (const int cards : {1, 1000}) {
            QString text;
            for (int card = 0; card < cards; ++card)
                text += sampleCard(random, language);
            const QByteArray file = encodeIn(text, language.charset);
            const int runs = cards == 1 ? 1000 : 20;
            QElapsedTimer clock;
            clock.start();
            for (int run = 0; run < runs; ++run)
                detectCharset(unlabelledBytes(file));
            std::printf("| %d cards in %s, %lld KiB | %lld | %.2f ms |\n", cards, language.charset,
                        qlonglong(file.size() / 1024), qlonglong(unlabelledBytes(file).size()),
                        double(clock.nsecsElapsed()) / 1e6 / runs);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        QString dir = QString::fromLocal8Bit(argv[1]);
        if (dir.endsWith(QLatin1Char('/')))
            dir.chop(1);
        corpusPart(dir, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    }
    samplePart();
    costPart();
    return 0;
}
