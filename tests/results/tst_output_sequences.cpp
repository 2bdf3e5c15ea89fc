// The output buttons' sequences, driven through a scripted desktop: the dialogs, the
// questions and their answers, the pointer, the steps that fail and what is said.

#include "ScriptedDesktop.h"
#include "TestFiles.h"
#include "base/ErrorReport.h"
#include "base/FileList.h"
#include "base/NativePath.h"
#include "base/SettingsStore.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "results/OutputSequences.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"
#include "results/WorkbookExport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Quillory"_s;
const QString kCopied = u"Results have been copied to the clipboard.\r\rClick a text area where "
                        "you normally type and press Ctrl+V to paste the clipboard."_s;
const QByteArray kCard = "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n";
const QByteArray kOld(500, 'x');

// Step numbers unlike each other, so that a failure names the step it happened in.
constexpr CopySteps kCopySteps{.copy = 1, .report = 2};
constexpr SaveTextSteps kTextSteps{
    .empty = 10, .dialog = 1, .replace = 2, .busy = 3, .write = 4, .idle = 5};
constexpr SaveCardsSteps kCardSteps{
    .empty = 10, .dialog = 1, .replace = 2, .busy = 3, .write = 4, .idle = 5, .report = 6};
constexpr WorkbookSteps kWorkbookSteps{
    .find = 1, .busy = 2, .rows = 3, .write = 4, .start = 5, .shortened = 6, .idle = 7};
constexpr OpenRowSteps kOpenRowSteps{.find = 1, .open = 2};
constexpr OpenAllSteps kOpenAllSteps{.empty = 10,
                                     .find = 1,
                                     .noEditor = 2,
                                     .files = 3,
                                     .ask = 4,
                                     .busy = 5,
                                     .open = 6,
                                     .idle = 7,
                                     .refused = 8};

QString replaceQuestion(const QString &name)
{
    return name + u" already exists.\r\rDo you want to replace it?"_s;
}

QString noEditor()
{
    return u"No text editor was found. Tried: the default application for text/plain (none is "
           "set), then gnome-text-editor, gedit, kate, mousepad, xed and pluma on PATH (none "
           "found).\r\rInstall one, such as gedit or mousepad, or set a default application "
           "for plain text."_s;
}

} // namespace

class TestOutputSequences final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void copy_data();
    void copy();
    void shownRows_data();
    void shownRows();
    void shownCardsInTheirFilesOrder();
    void save_data();
    void save();
    void saveDialog_data();
    void saveDialog();
    void nothingToSave_data();
    void nothingToSave();
    void workbook_data();
    void workbook();
    void openRow_data();
    void openRow();
    void openAll_data();
    void openAll();

private:
    OutputWindow window(const OutputRows &rows = {});
    /// Writes book.vcf of one card and puts a row of it in the table; its path.
    QString addCardRow();
    /// The texts of the boxes shown, each marked when its caption or icon is not the
    /// window's, or when it asks without Yes and No or says with them.
    QStringList said() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDesktop> m_desktop;
    std::unique_ptr<ResultsModel> m_results;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<Guard> m_guard;
    QStringList m_pointer; // "busy" and "idle" in the order shown
    QList<int> m_failed; // the steps reported
    bool m_closing = false;
    FileList m_inputs;
};

void TestOutputSequences::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_desktop = std::make_unique<ScriptedDesktop>();
    m_results = std::make_unique<ResultsModel>();
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(u"settings.ini"_s));
    m_guard = std::make_unique<Guard>(
        [this](const QString &, int step, const QString &) { m_failed.append(step); }, u"Test"_s);
    m_pointer.clear();
    m_failed.clear();
    m_closing = false;
    m_inputs = FileList();
}

OutputWindow TestOutputSequences::window(const OutputRows &rows)
{
    return {.desktop = *m_desktop,
            .title = kTitle,
            .results = *m_results,
            .rows = rows,
            .pointer = [this](bool busy) { m_pointer.append(busy ? u"busy"_s : u"idle"_s); },
            .closing = [this] { return m_closing; },
            .inputs = [this] { return m_inputs; },
            .settings = m_settings.get()};
}

QString TestOutputSequences::addCardRow()
{
    const QString book = writeTestFile(*m_dir, u"book.vcf"_s, kCard);
    CardParser::parse(readCardFile(book), [&](ContactFields &&, const CardParser::Identity &card) {
        const CardPlace place{card.number, 1, card.begin, card.end};
        m_results->appendRows({{book, u"FirstName"_s, u"Ann"_s, card.contact, u"ann"_s, place}});
    });
    return book;
}

QStringList TestOutputSequences::said() const
{
    QStringList texts;
    for (const ScriptedDesktop::Message &message : std::as_const(m_desktop->messages)) {
        texts.append(message.text);
        // A question whose Yes replaces a file has No as its default.
        const bool asks = message.text.endsWith(u'?');
        const MessageButtons buttons = !asks          ? MessageButtons::Ok
            : message.text.endsWith(u"replace it?"_s) ? MessageButtons::YesNoDefaultNo
                                                      : MessageButtons::YesNo;
        if (message.title != kTitle || message.icon != MessageIcon::None
            || message.buttons != buttons)
            texts.append(u"<caption %1, icon %2, buttons %3>"_s.arg(message.title)
                             .arg(int(message.icon))
                             .arg(int(message.buttons)));
    }
    return texts;
}

void TestOutputSequences::copy_data()
{
    QTest::addColumn<bool>("rows");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("clipboardWorks");
    QTest::addColumn<bool>("closing");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("a ticked row") << true << true << true << false << u"A\tT\tV\t\r\n"_s << 1
                                  << QStringList{kCopied};
    QTest::newRow("empty table leaves the clipboard")
        << false << false << true << false << u"previous"_s << 0
        << QStringList{u"No rows are ticked."_s};
    QTest::newRow("no tick leaves the clipboard") << true << false << true << false << u"previous"_s
                                                  << 0 << QStringList{u"No rows are ticked."_s};
    QTest::newRow("a held clipboard is tried 1000 times, silently")
        << true << true << false << false << u"previous"_s << 1000 << QStringList{kCopied};
    QTest::newRow("closing meanwhile: copied, nothing said")
        << true << true << true << true << u"A\tT\tV\t\r\n"_s << 1 << QStringList{};
}

void TestOutputSequences::copy()
{
    QFETCH(bool, rows);
    QFETCH(bool, ticked);
    QFETCH(bool, clipboardWorks);
    QFETCH(bool, closing);
    QFETCH(QString, clipboard);
    QFETCH(int, attempts);
    QFETCH(QStringList, messages);
    m_desktop->clipboard = u"previous"_s;
    m_desktop->clipboardWorks = clipboardWorks;
    m_closing = closing;
    if (rows) {
        m_results->appendRows({{u"A"_s, u"T"_s, u"V"_s}});
        m_results->setChecked(0, ticked);
    }
    runCopyResults(window(), *m_guard, kCopySteps);
    QCOMPARE(m_desktop->clipboard, clipboard);
    QCOMPARE(m_desktop->clipboardClears, attempts);
    QCOMPARE(m_desktop->clipboardSets, attempts);
    QCOMPARE(said(), messages);
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::shownRows_data()
{
    // The rows by their values' initials: Bravo, Alpha, Carol and Oscar; all but Carol
    // ticked. "r" hides Alpha, "carol" all the ticked rows.
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("sortColumn"); // -1: as found; else descending
    QTest::addColumn<QString>("copied"); // the rows on the clipboard; empty: it is left
    QTest::addColumn<QString>("written"); // the rows of the text file, sheet and editors
    QTest::addColumn<QString>("message");
    QTest::newRow("neither") << QString() << -1 << u"BAO"_s << u"BACO"_s << kCopied;
    QTest::newRow("a filter; the hidden ticked row stays out")
        << u"r"_s << -1 << u"BO"_s << u"BCO"_s << kCopied + u"\r\r2 rows copied (filter on)."_s;
    QTest::newRow("a sort") << QString() << 2 << u"OBA"_s << u"OCBA"_s
                            << kCopied + u"\r\r3 rows copied (sorted)."_s;
    QTest::newRow("both") << u"r"_s << 2 << u"OB"_s << u"OCB"_s
                          << kCopied + u"\r\r2 rows copied (filter on, sorted)."_s;
    QTest::newRow("only hidden rows ticked")
        << u"carol"_s << -1 << QString() << u"C"_s
        << u"No rows are ticked.\r\rOnly the rows shown are copied (filter on)."_s;
}

void TestOutputSequences::shownRows()
{
    QFETCH(QString, filter);
    QFETCH(int, sortColumn);
    QFETCH(QString, copied);
    QFETCH(QString, written);
    QFETCH(QString, message);
    const QHash<QChar, QString> values{
        {u'B', u"Bravo"_s}, {u'A', u"Alpha"_s}, {u'C', u"Carol"_s}, {u'O', u"Oscar"_s}};
    for (const QChar initial : u"BACO"_s)
        m_results->appendRows({{u"/c/"_s + initial + u".vcf"_s, u"T"_s, values[initial]}});
    for (const int r : {0, 1, 3})
        m_results->setChecked(r, true);
    ResultsProxyModel proxy(*m_results);
    proxy.setFilter(filter, true);
    proxy.setSort(sortColumn, Qt::DescendingOrder);
    const auto lines = [&](const QString &initials) {
        QString text;
        for (const QChar initial : initials)
            text += u"/c/"_s + initial + u".vcf\tT\t"_s + values[initial] + u"\t\r\n"_s;
        return text;
    };
    m_desktop->clipboard = u"previous"_s;
    runCopyResults(window(proxy.outputRows()), *m_guard, kCopySteps);
    QCOMPARE(m_desktop->clipboard, copied.isEmpty() ? u"previous"_s : lines(copied));
    QCOMPARE(said(), QStringList{message});

    const QString path = m_dir->filePath(u"shown.txt"_s);
    m_desktop->saveResults.enqueue(path);
    runSaveResultsText(window(proxy.outputRows()), *m_guard, kTextSteps);
    QCOMPARE(QString::fromUtf8(readTestFile(path)), u"File\tTag\t Value\t\r\n"_s + lines(written));
    QStringList sheet; // its Value column below the captions
    for (const QStringList &row : workbookRows(*m_results, nullptr, proxy.outputRows()).sliced(1))
        sheet.append(row.at(2));
    m_desktop->programsOnPath = {u"gedit"_s};
    runOpenAllFiles(window(proxy.outputRows()), *m_guard, kOpenAllSteps);
    QStringList opened; // their initials, from "/c/B.vcf"
    for (const ScriptedDesktop::Started &editor : std::as_const(m_desktop->started))
        opened.append(editor.arguments.last().mid(3, 1));
    QCOMPARE(opened.join(QString()), written);
    for (qsizetype i = 0; i < written.size(); ++i)
        QCOMPARE(sheet.value(i), values[written.at(i)]);
    QCOMPARE(sheet.size(), written.size());
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::shownCardsInTheirFilesOrder()
{
    const QByteArray ann = "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n";
    const QByteArray bob = "BEGIN:VCARD\nFN:Bob\nEND:VCARD\n";
    const QByteArray cid = "BEGIN:VCARD\nFN:Cid\nEND:VCARD\n";
    const QString book = writeTestFile(*m_dir, u"book.vcf"_s, ann + bob + cid);
    const QStringList values{u"Anné"_s, u"Bob"_s, u"Cidé"_s}; // "é" is in no path
    CardParser::parse(readCardFile(book), [&](ContactFields &&, const CardParser::Identity &card) {
        const CardPlace place{card.number, 1, card.begin, card.end};
        m_results->appendRows(
            {{book, u"FirstName"_s, values.at(card.number - 1), card.contact, u"x"_s, place}});
    });
    ResultsProxyModel proxy(*m_results);
    proxy.setFilter(u"é"_s, true);
    proxy.setSort(2, Qt::DescendingOrder);
    const QString path = m_dir->filePath(u"shown.vcf"_s);
    m_desktop->saveResults.enqueue(path);
    runSaveMatchingCards(window(proxy.outputRows()), *m_guard, kCardSteps);
    // The sort leaves the cards in their file's order, which is read once.
    QCOMPARE(readTestFile(path), ann + cid);
    QCOMPARE(said(), QStringList{u"2 cards have been saved to shown.vcf (filter on)."_s});
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::save_data()
{
    QTest::addColumn<bool>("cards"); // the matching cards, else the text file
    QTest::addColumn<QString>("target"); // empty: the dialog is cancelled
    QTest::addColumn<MessageAnswer>("answer"); // to the replace question, if asked
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<int>>("failed");
    QTest::addColumn<QStringList>("pointer");
    QTest::addColumn<bool>("written");
    const QStringList busyIdle{u"busy"_s, u"idle"_s};
    const QString searched = u": this is one of the files searched; choose another file."_s;
    for (const bool cards : {false, true}) {
        const char *kind = cards ? "cards" : "text";
        const auto saved = [&](const QString &name) {
            return cards ? QStringList{u"1 card has been saved to %1."_s.arg(name)} : QStringList{};
        };
        QTest::addRow("%s, cancelled at the dialog", kind)
            << cards << QString() << MessageAnswer::Yes << QStringList{} << QList<int>{}
            << QStringList{} << false;
        QTest::addRow("%s, a new file", kind)
            << cards << u"new.out"_s << MessageAnswer::No << saved(u"new.out"_s) << QList<int>{}
            << busyIdle << true;
        QTest::addRow("%s, an old file replaced", kind)
            << cards << u"old"_s << MessageAnswer::Yes
            << QStringList{replaceQuestion(u"old"_s)} + saved(u"old"_s) << QList<int>{} << busyIdle
            << true;
        QTest::addRow("%s, an old file kept", kind)
            << cards << u"old"_s << MessageAnswer::No << QStringList{replaceQuestion(u"old"_s)}
            << QList<int>{} << QStringList{} << false;
        // Not asked about: the write fails, is reported, and the pointer comes back.
        QTest::addRow("%s, a folder in the file's place", kind)
            << cards << u"folder"_s << MessageAnswer::Yes << QStringList{} << QList<int>{4}
            << busyIdle << false;
        QTest::addRow("%s, a file searched", kind)
            << cards << u"input"_s << MessageAnswer::Yes << QStringList{u"input"_s + searched}
            << QList<int>{} << QStringList{} << false;
    }
}

void TestOutputSequences::save()
{
    QFETCH(bool, cards);
    QFETCH(QString, target);
    QFETCH(MessageAnswer, answer);
    QFETCH(QStringList, messages);
    QFETCH(QList<int>, failed);
    QFETCH(QStringList, pointer);
    QFETCH(bool, written);
    const QString book = addCardRow();
    writeTestFile(*m_dir, u"old"_s, kOld);
    m_inputs = FileList(QStringList{book, writeTestFile(*m_dir, u"input"_s, kOld)});
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    const QString path = target.isEmpty() ? QString() : m_dir->filePath(target);
    m_desktop->saveResults.enqueue(path);
    m_desktop->answers.enqueue(answer);

    if (cards)
        runSaveMatchingCards(window(), *m_guard, kCardSteps);
    else
        runSaveResultsText(window(), *m_guard, kTextSteps);

    QCOMPARE(m_desktop->dialogTitles,
             QStringList{cards ? u"Save Matching Cards|vCard Files (*.vcf)"_s
                               : u"Save List|Text Files (*.txt);;All Files (*)"_s});
    for (QString &text : messages) {
        if (text.startsWith(u"input:"_s))
            text.prepend(m_dir->path() + u'/');
    }
    QCOMPARE(said(), messages);
    QCOMPARE(m_failed, failed);
    QCOMPARE(m_pointer, pointer);
    if (target == u"old" || target == u"input")
        QCOMPARE(readTestFile(path) == kOld, !written);
    if (written)
        QCOMPARE(readTestFile(path),
                 cards ? kCard
                       : "File\tTag\t Value\tContact\t\r\n" + book.toUtf8()
                         + "\tFirstName\tAnn\tAnn\t\r\n");
    if (!written && target == u"new.out")
        QVERIFY(!QFile::exists(path));
}

void TestOutputSequences::saveDialog_data()
{
    QTest::addColumn<bool>("cards"); // the matching cards, else the text file
    QTest::addColumn<QString>("kept"); // the folder kept from the last save: none, kept, gone
    QTest::addColumn<QString>("typed"); // in the folder "to"
    QTest::addColumn<QString>("filter"); // chosen; empty: the first
    QTest::addColumn<QString>("written"); // the file in "to"
    QTest::newRow("text, no folder kept; the extension added")
        << false << QString() << u"results1"_s << QString() << u"results1.txt"_s;
    QTest::newRow("text, the folder kept; All Files adds nothing")
        << false << u"kept"_s << u"results1"_s << u"All Files (*)"_s << u"results1"_s;
    QTest::newRow("text, the folder kept is gone; an extension typed stays")
        << false << u"gone"_s << u"list.csv"_s << QString() << u"list.csv"_s;
    QTest::newRow("cards, the folder kept; the extension added")
        << true << u"kept"_s << u"match1"_s << QString() << u"match1.vcf"_s;
}

void TestOutputSequences::saveDialog()
{
    QFETCH(bool, cards);
    QFETCH(QString, kept);
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    addCardRow();
    const QString key = cards ? u"MatchingCardsFolder"_s : u"ResultsTextFolder"_s;
    QVERIFY(QDir(m_dir->path()).mkdir(u"kept"_s) && QDir(m_dir->path()).mkdir(u"to"_s));
    if (!kept.isEmpty())
        m_settings->WriteSetting(key, m_dir->filePath(kept));
    const QString to = m_dir->filePath(u"to"_s);
    m_desktop->saveResults.enqueue(to + u'/' + typed);
    if (!filter.isEmpty())
        m_desktop->saveFilters.enqueue(filter);

    if (cards)
        runSaveMatchingCards(window(), *m_guard, kCardSteps);
    else
        runSaveResultsText(window(), *m_guard, kTextSteps);

    // Never the working folder: the folder last saved to, else documents or home.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString start = kept == u"kept" ? m_dir->filePath(kept)
        : QFileInfo(documents).isDir()    ? documents
                                          : QDir::homePath();
    QCOMPARE(m_desktop->saveStarts,
             QStringList{start + (cards ? u"/Matching Cards.vcf"_s : u"/Results.txt"_s)});
    QCOMPARE(QDir(to).entryList(QDir::Files), QStringList{written});
    QCOMPARE(m_settings->ReadSetting(key, QString()), to);
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::nothingToSave_data()
{
    QTest::addColumn<bool>("cards"); // the matching cards, else the text file
    QTest::addColumn<bool>("row"); // a row of a card in the table
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("dialogs");
    QTest::newRow("text, an empty table")
        << false << false << QStringList{u"Nothing to save."_s} << 0;
    QTest::newRow("cards, an empty table")
        << true << false << QStringList{u"Nothing to save."_s} << 0;
    QTest::newRow("cards, every card's file removed since")
        << true << true
        << QStringList{u"No card has been saved, and new.vcf has not been written. 1 card was "
                       "left out.\r\rCards of these files could not be taken out:\rBOOK: No such "
                       "file or directory"_s}
        << 1;
}

void TestOutputSequences::nothingToSave()
{
    QFETCH(bool, cards);
    QFETCH(bool, row);
    QFETCH(QStringList, messages);
    QFETCH(int, dialogs);
    if (row)
        QVERIFY(QFile::remove(addCardRow()));
    const QString path = m_dir->filePath(u"new.vcf"_s);
    m_desktop->saveResults.enqueue(path);
    if (cards)
        runSaveMatchingCards(window(), *m_guard, kCardSteps);
    else
        runSaveResultsText(window(), *m_guard, kTextSteps);
    messages.replaceInStrings(u"BOOK"_s, m_dir->filePath(u"book.vcf"_s));
    QCOMPARE(said(), messages);
    QCOMPARE(m_desktop->dialogTitles.size(), dialogs);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::workbook_data()
{
    QTest::addColumn<bool>("rows");
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<bool>("closing");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("pointer");
    QTest::addColumn<bool>("started");
    QTest::newRow("an empty table: nothing at all")
        << false << QStringList{u"soffice"_s} << false << QStringList{} << QStringList{} << false;
    QTest::newRow("no spreadsheet application")
        << true << QStringList{} << false
        << QStringList{u"Excel is not installed on this computer. You need to have it "
                       "installed to use this software without error."_s,
                       u"Excel is not installed on this computer. You need to have it installed "
                       "to use this feature."_s}
        << QStringList{} << false;
    QTest::newRow("handed to the application")
        << true << QStringList{u"localc"_s} << false << QStringList{}
        << QStringList{u"busy"_s, u"idle"_s} << true;
    // The window goes with the pointer, and no workbook is made.
    QTest::newRow("closing meanwhile") << true << QStringList{u"soffice"_s} << true << QStringList{}
                                       << QStringList{u"busy"_s} << false;
}

void TestOutputSequences::workbook()
{
    QFETCH(bool, rows);
    QFETCH(QStringList, onPath);
    QFETCH(bool, closing);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, pointer);
    QFETCH(bool, started);
    m_desktop->programsOnPath = onPath;
    m_closing = closing;
    if (rows)
        m_results->appendRows({{u"/c/a.vcf"_s, u"T"_s, u"V"_s}});
    std::unique_ptr<QTemporaryDir> folder;
    runSaveResultsWorkbook(window(), *m_guard, folder, kWorkbookSteps);
    QCOMPARE(said(), messages);
    QCOMPARE(m_pointer, pointer);
    QCOMPARE(m_failed, QList<int>{});
    QCOMPARE(m_desktop->started.size(), started ? 1 : 0);
    QCOMPARE(bool(folder), started);
    if (started) {
        const QString workbook = workbookIn(folder.get());
        QVERIFY(QFile::exists(workbook));
        QCOMPARE(m_desktop->started.first().program, u"/usr/bin/"_s + onPath.first());
        QCOMPARE(m_desktop->started.first().arguments,
                 (QStringList{u"--calc"_s, u"-n"_s, workbook}));
    }
}

void TestOutputSequences::openRow_data()
{
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("arguments"); // of the editor started; empty: none
    QTest::addColumn<QStringList>("messages");
    const QString notUtf8 = decodeFileName("/c/caf\xE9.vcf");
    QTest::newRow("at the card's line") << QStringList{u"gedit"_s} << u"/c/b.vcf"_s
                                        << QStringList{u"+12"_s, u"/c/b.vcf"_s} << QStringList{};
    QTest::newRow("no editor") << QStringList{} << u"/c/b.vcf"_s << QStringList{}
                               << QStringList{noEditor()};
    QTest::newRow("a name the editor cannot take")
        << QStringList{u"gedit"_s} << notUtf8 << QStringList{}
        << QStringList{u"This file cannot be handed to the editor, because its name is not "
                       "valid UTF-8:\r\r/c/caf\\xE9.vcf"_s};
}

void TestOutputSequences::openRow()
{
    QFETCH(QStringList, onPath);
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, messages);
    m_desktop->programsOnPath = onPath;
    m_results->appendRows({{u"/c/a.vcf"_s, u"T"_s, u"V"_s, {}, {}, CardPlace{1, 3}},
                           {file, u"T"_s, u"V"_s, {}, {}, CardPlace{2, 12}}});
    runOpenRow(window(), *m_guard, 1, kOpenRowSteps);
    QCOMPARE(said(), messages);
    QCOMPARE(m_desktop->started.size(), arguments.isEmpty() ? 0 : 1);
    if (!arguments.isEmpty())
        QCOMPARE(m_desktop->started.first().arguments, arguments);
    QCOMPARE(m_failed, QList<int>{});
}

void TestOutputSequences::openAll_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("editor");
    QTest::addColumn<MessageAnswer>("answer"); // to the question, if asked
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("pointer");
    QTest::addColumn<int>("started");
    const QString question = u"You are about to open 21 files, each in its own editor window."
                             "\r\rDo you want to open them all?"_s;
    const QStringList busyIdle{u"busy"_s, u"idle"_s};
    QTest::newRow("an empty table") << 0 << true << MessageAnswer::Yes
                                    << QStringList{u"Nothing to open."_s} << QStringList{} << 0;
    QTest::newRow("no editor: said once, nothing asked")
        << 21 << false << MessageAnswer::Yes << QStringList{noEditor()} << QStringList{} << 0;
    QTest::newRow("20 files open without a question")
        << 20 << true << MessageAnswer::No << QStringList{} << busyIdle << 20;
    QTest::newRow("21 files, answered No")
        << 21 << true << MessageAnswer::No << QStringList{question} << QStringList{} << 0;
    QTest::newRow("21 files, answered Yes")
        << 21 << true << MessageAnswer::Yes << QStringList{question} << busyIdle << 21;
}

void TestOutputSequences::openAll()
{
    QFETCH(int, files);
    QFETCH(bool, editor);
    QFETCH(MessageAnswer, answer);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, pointer);
    QFETCH(int, started);
    if (editor)
        m_desktop->programsOnPath = {u"gedit"_s};
    m_desktop->answers.enqueue(answer);
    QList<ResultRow> rows;
    for (int i = 0; i < files; ++i) // each file twice: opened once
        rows << ResultRow{u"/c/%1.vcf"_s.arg(i), u"T"_s, u"1"_s}
             << ResultRow{u"/c/%1.vcf"_s.arg(i), u"T"_s, u"2"_s};
    m_results->appendRows(rows);
    runOpenAllFiles(window(), *m_guard, kOpenAllSteps);
    QCOMPARE(said(), messages);
    QCOMPARE(m_pointer, pointer);
    QCOMPARE(m_desktop->started.size(), started);
    if (started > 0)
        QCOMPARE(m_desktop->started.last().arguments, QStringList{u"/c/%1.vcf"_s.arg(started - 1)});
    QCOMPARE(m_failed, QList<int>{});
}

QTEST_MAIN(TestOutputSequences)
#include "tst_output_sequences.moc"
