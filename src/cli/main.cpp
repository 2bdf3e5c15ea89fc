#include "app/CommandLine.h"
#include "card/FileDigest.h"
#include "cli/DumpCommand.h"
#include "cli/SearchCommand.h"
#include "filelist/AddFiles.h"
#include "filelist/PathIntake.h"
#include "search/FieldChoice.h"
#include "search/PatternMatching.h"
#include "search/PhoneMatcher.h"
#include "search/SearchRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The cause in one line and where the options are told: the whole help would bury it.
int usageError(const QString &message)
{
    std::fprintf(stderr,
                 "quillory-search: %s\nTry 'quillory-search --help' for more information.\n",
                 message.toUtf8().constData());
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillory-search"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Searches vCard files the way Quillory does and prints the results text file:\n"
        "a caption line, then one line per hit (File, Tag, Value, Contact, and with\n"
        "several -e the Search text), TAB after every cell, CR LF.\n"
        "A folder PATH adds every file of its tree with the extension (as \"Add All VCF File(s)\n"
        "In Folder\" does). Exit status: 0 when a row was found, 1 when none, 2 on an error."_s);
    const QCommandLineOption text(
        {u"e"_s, u"text"_s}, u"Search text; give it several times to search for each in turn."_s,
        u"TEXT"_s);
    const QCommandLineOption matchCase({u"c"_s, u"match-case"_s}, u"Letter case must match."_s);
    const QCommandLineOption phone(
        u"phone"_s,
        u"Phone numbers in any format: a search text that looks like a phone number finds the "
        "telephone values that hold its digits or are the same number (\"0176 1234 5678\" "
        "finds \"+49 176 1234-5678\")."_s);
    const QCommandLineOption region(
        u"region"_s,
        u"The country whose numbers --phone reads without a country code, as two letters "
        "(default: the locale's)."_s,
        u"CC"_s);
    const QCommandLineOption ignoreAccents(
        u"ignore-accents"_s,
        u"Letters match whatever their accents (\"muller\" finds \"Müller\")."_s);
    const QCommandLineOption regex(
        u"regex"_s,
        u"Every search text is a regular expression in RE2's syntax (\"^\\+49 ?1[5-7]\"), "
        "found anywhere in a value; telephone values are then matched as written, not as "
        "numbers."_s);
    const QCommandLineOption allTexts(
        u"all-texts"_s,
        u"With several -e, only cards that hold every text give rows (each text matching "
        "some value of the card); their rows are those of every text."_s);
    const QCommandLineOption counts(
        u"counts"_s,
        u"After the rows, print to standard error a table of the rows, cards and files each "
        "text found, tab-separated: a line text, rows, cards, files, then one per text."_s);
    const QCommandLineOption words(
        u"words"_s,
        u"Whole words only: a text matches only where it starts and ends at a word boundary "
        "of the value (\"ann\" finds \"Ann Lee\", not \"Joanna\"); phone numbers under "
        "--phone are not affected."_s);
    const QCommandLineOption field(
        u"field"_s,
        u"Search only in these fields, given by name as the Tag column writes them (Emails, "
        "Mobile) or by group (names, phones, emails, addresses, organisation, notes, "
        "internet); with --all-properties also a property's name (CATEGORIES, X-SKYPE). "
        "Separate names with commas or give the option several times."_s,
        u"NAME"_s);
    const QCommandLineOption allProperties(
        u"all-properties"_s,
        u"Search the values of every property, not only the contact fields (CATEGORIES, IMPP, "
        "X-...)."_s);
    const QCommandLineOption extension(
        {u"x"_s, u"extension"_s},
        u"Extension of the files taken from folders (default vcf; * for all)."_s, u"EXT"_s,
        defaultExtension());
    const QCommandLineOption dump(u"dump"_s,
                                  u"Print every card of every file as one JSON object per line."_s);
    const QCommandLineOption json(
        u"json"_s,
        u"Print one JSON object per row instead of the results text (JSON Lines, UTF-8), with "
        "the keys file, card, line, contact, text, tag and value."_s);
    const QCommandLineOption exportCards(
        u"export-cards"_s,
        u"Also write every card that has a row, once each, to FILE as a vCard file."_s, u"FILE"_s);
    const QCommandLineOption duplicates(
        u"duplicates"_s,
        u"Print the groups of duplicate contacts instead of the rows: cards that share a phone "
        "number (as --phone compares them), an e-mail address or a name (a weaker match), "
        "among every card, or among the cards with a row when a text is given. One card a "
        "line and an empty line after each group; with --json one object per group."_s);
    const QCommandLineOption threads(
        {u"j"_s, u"threads"_s},
        u"Threads to use (default: one per processor, at most 8). With 1 the files are read and "
        "searched on one thread."_s,
        u"N"_s);
    const QCommandLineOption report(
        u"report"_s,
        u"Also write the reading report to FILE as JSON (- for standard error): the files "
        "read and not read with the reason, the cards, rows and bytes, and per file its "
        "charset and the card shapes and values it had to guess about."_s,
        u"FILE"_s);
    const QCommandLineOption hash(
        u"hash"_s, u"List every file in the report, with the SHA-256 digest of its bytes."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption version(u"version"_s, u"Show the version."_s);
    parser.addOption(text);
    parser.addOption(matchCase);
    parser.addOption(phone);
    parser.addOption(region);
    parser.addOption(ignoreAccents);
    parser.addOption(regex);
    parser.addOption(allTexts);
    parser.addOption(counts);
    parser.addOption(words);
    parser.addOption(field);
    parser.addOption(allProperties);
    parser.addOption(extension);
    parser.addOption(dump);
    parser.addOption(json);
    parser.addOption(exportCards);
    parser.addOption(duplicates);
    parser.addOption(threads);
    parser.addOption(report);
    parser.addOption(hash);
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(u"PATH"_s, u"Card files or folders."_s, u"PATH..."_s);

    if (!parser.parse(decodeArguments(argc, argv)))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("quillory-search %s\n", quilloryVersion().toUtf8().constData());
        return 0;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(u"no PATH given"_s);

    // A closed pipe or a file-size limit then fails the write instead of ending the
    // process in silence, so that the tool can say so and exit with status 2.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    if (parser.isSet(dump)) {
        if (parser.isSet(text))
            return usageError(u"--dump takes no search text"_s);
        if (parser.isSet(json) || parser.isSet(exportCards) || parser.isSet(duplicates))
            return usageError(u"--dump takes neither --json, --export-cards nor --duplicates"_s);
        if (parser.isSet(report) || parser.isSet(hash))
            return usageError(u"--dump takes neither --report nor --hash"_s);
        return runDump(paths, stdout, stderr);
    }

    SearchCommandOptions options;
    options.texts = parser.values(text);
    options.matchCase = parser.isSet(matchCase);
    options.phoneNumbers = parser.isSet(phone);
    options.ignoreAccents = parser.isSet(ignoreAccents);
    options.regularExpression = parser.isSet(regex);
    options.everyText = parser.isSet(allTexts);
    options.counts = parser.isSet(counts);
    options.allProperties = parser.isSet(allProperties);
    options.wholeWords = parser.isSet(words);
    options.fields = splitFieldNames(parser.values(field));
    options.region = parser.value(region);
    options.extension = parser.value(extension);
    options.paths = paths;
    options.json = parser.isSet(json);
    options.exportCards = parser.value(exportCards);
    options.duplicates = parser.isSet(duplicates);
    options.report = parser.value(report);
    options.hash = parser.isSet(hash);
    if (parser.isSet(report) && options.report.isEmpty())
        return usageError(u"--report needs a file name, or - for standard error"_s);
    if (options.hash && options.report.isEmpty())
        return usageError(u"--hash needs --report"_s);
    if (options.hash && !FileDigest::available()) {
        std::fputs("quillory-search: --hash: no SHA-256 digest can be made: the system's "
                   "OpenSSL library (libcrypto) could not be loaded\n",
                   stderr);
        return 2;
    }
    if (options.texts.isEmpty() && !options.duplicates)
        return usageError(u"give a search text with -e, or --dump"_s);
    for (const QString &searchText : std::as_const(options.texts)) {
        if (searchText.isEmpty() || (options.texts.size() == 1 && isBlank(searchText)))
            return usageError(u"the search text is empty"_s);
    }
    if (options.regularExpression) {
        if (const QString problem = patternsProblem(options.texts, options.ignoreAccents);
            !problem.isEmpty())
            return usageError(problem);
    }
    for (const QString &name : std::as_const(options.fields)) {
        if (isFieldOrGroupName(name) || (options.allProperties && isPropertyName(name)))
            continue;
        return usageError(u"--field: unknown name \""_s + name + u"\"; use "_s
                          + fieldChoiceNames().join(u", "_s)
                          + (options.allProperties ? u", or a property's name"_s
                                                   : u" (a property's name with --all-properties)"_s));
    }
    if (options.extension.isEmpty())
        return usageError(u"the extension is empty"_s);
    if (parser.isSet(region)
        && (options.region.size() != 2
            || !std::all_of(options.region.cbegin(), options.region.cend(), [](QChar c) {
                   return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
               })))
        return usageError(u"--region takes a country code of two letters"_s);
    options.region = options.region.toUpper();
    if (parser.isSet(region) && !PhoneMatcher::isKnownRegion(options.region))
        return usageError(u"--region "_s + options.region
                          + u" is not a known country code (such as DE or US)"_s);
    if (parser.isSet(exportCards) && options.exportCards.isEmpty())
        return usageError(u"--export-cards needs a file name"_s);
    options.threads = defaultSearchThreads();
    if (parser.isSet(threads)) {
        bool number = false;
        options.threads = parser.value(threads).toInt(&number);
        if (!number || options.threads < 1 || options.threads > 64)
            return usageError(u"--threads takes a number from 1 to 64"_s);
    }
    return runSearch(options, stdout, stderr);
}
