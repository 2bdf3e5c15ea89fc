// The match options of the "Case Options" frame: stored when they change, restored at
// start-up, and read by the search.

#include "TestFiles.h"
#include "WindowTest.h"
#include "base/SettingsStore.h"
#include "filelist/FileListModel.h"
#include "gui/Form1.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const char *const kBoxes[] = {"PhoneNumbersCheck", "IgnoreAccentsCheck", "AllPropertiesCheck",
                              "RegularExpressionCheck", "WholeWordsCheck"};
const QString kKeys[] = {u"PhoneNumbers"_s, u"IgnoreAccents"_s, u"AllProperties"_s,
                         u"RegularExpression"_s, u"WholeWords"_s};
constexpr int kBoxCount = int(std::size(kBoxes));

/// "1" for each ticked box, in the order of kBoxes.
QString boxesState(QWidget &form)
{
    QString state;
    for (const char *name : kBoxes)
        state += control<QCheckBox>(form, name)->isChecked() ? u'1' : u'0';
    return state;
}

} // namespace

class TestWindowMatchOptions final : public WindowTest
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeFixture()); }
    void cleanup() { dropFixture(); }
    void boxesAcrossARestart();
    void storedValuesRestored_data();
    void storedValuesRestored();
    void searchReadsTheBoxes_data();
    void searchReadsTheBoxes();
    void invalidPatternRefused();
    void phoneRegion_data();
    void phoneRegion();
    void everyTextAndCountsPerText();
    void searchInAcrossARestart();
};

void TestWindowMatchOptions::boxesAcrossARestart()
{
    const QString file = m_settings->fileName();
    {
        auto form = startWindow(m_dir->path());
        auto *frame = control<QGroupBox>(*form, "Frame2");
        const QStringList captions{u"Phone numbers in any format"_s, u"Ignore accents"_s,
                                   u"Search all properties"_s, u"Regular expression"_s,
                                   u"Whole words only"_s};
        for (int i = 0; i < kBoxCount; ++i) {
            auto *box = control<QCheckBox>(*form, kBoxes[i]);
            QCOMPARE(box->text(), captions.at(i));
            // In the design's column "Whole words only" stands among the search options.
            QVERIFY(frame->isAncestorOf(box) || i == kBoxCount - 1);
        }
        QCOMPARE(boxesState(*form), u"00000"_s); // a new user gets the designed search
        form->show();
        QTest::mouseClick(control<QCheckBox>(*form, "PhoneNumbersCheck"), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(*form, "IgnoreAccentsCheck"), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(*form, "AllPropertiesCheck"), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(*form, "IgnoreAccentsCheck"), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(*form, "RegularExpressionCheck"), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(*form, "WholeWordsCheck"), Qt::LeftButton);
        // Stored the moment they change, before the window closes.
        SettingsStore onDisk(file);
        QCOMPARE(onDisk.ReadSetting(kKeys[0], QString()), u"True"_s);
        QCOMPARE(onDisk.ReadSetting(kKeys[1], QString()), u"False"_s);
        QCOMPARE(onDisk.ReadSetting(kKeys[2], QString()), u"True"_s);
        QCOMPARE(onDisk.ReadSetting(kKeys[3], QString()), u"True"_s);
        QCOMPARE(onDisk.ReadSetting(kKeys[4], QString()), u"True"_s);
    }
    m_settings = std::make_unique<SettingsStore>(file);
    auto form = startWindow(m_dir->path());
    QCOMPARE(boxesState(*form), u"10111"_s);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowMatchOptions::storedValuesRestored_data()
{
    QTest::addColumn<QStringList>("stored"); // by kKeys, null for absent
    QTest::addColumn<QString>("state");
    QTest::newRow("absent") << QStringList{{}, {}, {}, {}, {}} << u"00000"_s;
    QTest::newRow("words and numbers")
        << QStringList{u"true"_s, u"-1"_s, u"FALSE"_s, u"1"_s, u"True"_s} << u"11011"_s;
    QTest::newRow("a bad value leaves its box off, unreported")
        << QStringList{u"maybe"_s, QString(), u"True"_s, u"maybe"_s, u"2x"_s} << u"00100"_s;
}

void TestWindowMatchOptions::storedValuesRestored()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, state);
    for (int i = 0; i < kBoxCount; ++i) {
        if (!stored.at(i).isNull())
            m_settings->WriteSetting(kKeys[i], stored.at(i));
    }
    auto form = startWindow(m_dir->path());
    QCOMPARE(boxesState(*form), state);
    QVERIFY(m_desktop->messages.isEmpty());
    // Restoring is no change: the stored texts stay as they were.
    for (int i = 0; i < kBoxCount; ++i)
        QCOMPARE(m_settings->ReadSetting(kKeys[i], QString()), stored.at(i));
}

void TestWindowMatchOptions::searchReadsTheBoxes_data()
{
    QTest::addColumn<QStringList>("ticked"); // the controls clicked before the search
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows"); // "Tag=Value"
    QTest::newRow("phone numbers in any format")
        << QStringList{u"PhoneNumbersCheck"_s} << u"176 12345678"_s
        << QStringList{u"Mobile=+49 (176) 1234-5678"_s};
    QTest::newRow("the same text as text") << QStringList{} << u"176 12345678"_s << QStringList{};
    QTest::newRow("ignore accents")
        << QStringList{u"IgnoreAccentsCheck"_s} << u"muller"_s << QStringList{u"LastName=Müller"_s};
    QTest::newRow("ignore accents, match case")
        << QStringList{u"IgnoreAccentsCheck"_s, u"Option1"_s} << u"muller"_s << QStringList{};
    const QString regex = u"RegularExpressionCheck"_s;
    QTest::newRow("regular expression")
        << QStringList{regex} << u"^m.ller$"_s << QStringList{u"LastName=Müller"_s};
    QTest::newRow("regular expression, match case")
        << QStringList{regex, u"Option1"_s} << u"^m.ller$"_s << QStringList{};
    QTest::newRow("regular expression, ignore accents")
        << QStringList{regex, u"IgnoreAccentsCheck"_s} << u"^mul+er$"_s
        << QStringList{u"LastName=Müller"_s};
    QTest::newRow("regular expression, phone numbers: as written")
        << QStringList{regex, u"PhoneNumbersCheck"_s} << u"^\\+49 \\(176\\)"_s
        << QStringList{u"Mobile=+49 (176) 1234-5678"_s, u"Notes=+49 (176) 1234-5678"_s};
    const QString words = u"WholeWordsCheck"_s;
    QTest::newRow("whole words") << QStringList{words} << u"MÜLLER"_s
                                 << QStringList{u"LastName=Müller"_s};
    QTest::newRow("whole words: a part of one") << QStringList{words} << u"müll"_s
                                                << QStringList{};
    QTest::newRow("whole words, ignore accents")
        << QStringList{words, u"IgnoreAccentsCheck"_s} << u"muller"_s
        << QStringList{u"LastName=Müller"_s};
    QTest::newRow("whole words, regular expression")
        << QStringList{words, regex} << u"m.l"_s << QStringList{};
}

void TestWindowMatchOptions::searchReadsTheBoxes()
{
    QFETCH(QStringList, ticked);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    const QString card = writeTestFile(*m_dir, u"jan.vcf"_s,
                                       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Müller;Jan;;;\r\n"
                                       "TEL;TYPE=CELL:+49 (176) 1234-5678\r\n"
                                       "NOTE:+49 (176) 1234-5678\r\nEND:VCARD\r\n");
    auto form = startWindow(m_dir->path());
    form->show();
    form->fileList().append(QStringList{card});
    for (const QString &name : ticked)
        QTest::mouseClick(control<QAbstractButton>(*form, qPrintable(name)), Qt::LeftButton);
    control<QLineEdit>(*form, "Text1")->setText(text);
    control<QPushButton>(*form, "PushButton7")->click();
    QStringList found;
    for (qsizetype r = 0; r < form->results().count(); ++r)
        found.append(form->results().cell(r, 2) + u'=' + form->results().cell(r, 3));
    QCOMPARE(found, rows);
}

void TestWindowMatchOptions::invalidPatternRefused()
{
    const QString card = writeTestFile(*m_dir, u"ann.vcf"_s,
                                       "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\n");
    auto form = startWindow(m_dir->path());
    form->show();
    form->fileList().append(QStringList{card});
    control<QLineEdit>(*form, "Text1")->setText(u"ann"_s);
    control<QPushButton>(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 1);
    QTest::mouseClick(control<QCheckBox>(*form, "RegularExpressionCheck"), Qt::LeftButton);
    control<QLineEdit>(*form, "Text1")->setText(u"a(nn"_s);
    m_desktop->messages.clear();
    control<QPushButton>(*form, "PushButton7")->click();
    // Refused with RE2's reason, before a file is searched: the rows found stay.
    QCOMPARE(m_desktop->messages.size(), 1);
    QVERIFY2(m_desktop->messages.constFirst().text.contains(
                 u"The regular expression \"a(nn\" is not valid: missing ): a(nn at character 1"_s),
             qPrintable(m_desktop->messages.constFirst().text));
    QCOMPARE(form->results().count(), 1);
    QCOMPARE(control<QPushButton>(*form, "PushButton7")->text(), u"Start Searching"_s);
}

void TestWindowMatchOptions::phoneRegion_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<int>("rows");
    // A London number typed as it is dialled in the country, against seven forms of it:
    // read as American it finds only the forms that hold its digits.
    QTest::newRow("US") << u"US"_s << 4;
    QTest::newRow("GB") << u"GB"_s << 7;
}

void TestWindowMatchOptions::phoneRegion()
{
    QFETCH(QString, region);
    QFETCH(int, rows);
    const QString card = writeTestFile(
        *m_dir, u"london.vcf"_s,
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nTEL:020 7946 0018\r\nTEL:(020) 7946 0018\r\n"
        "TEL:02079460018\r\nTEL:+44 20 7946 0018\r\nTEL:+44 (0)20 7946 0018\r\n"
        "TEL:0044 20 7946 0018\r\nTEL:+442079460018\r\nEND:VCARD\r\n");
    const QString file = m_settings->fileName();
    {
        auto form = startWindow(m_dir->path());
        auto *combo = control<QComboBox>(*form, "PhoneRegionCombo");
        // The system's region first, usable only with the option on.
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(combo->currentText().contains(u"the system"_s));
        QVERIFY(combo->count() > 200);
        QVERIFY(!combo->isEnabled());
        form->show();
        QTest::mouseClick(control<QCheckBox>(*form, "PhoneNumbersCheck"), Qt::LeftButton);
        QVERIFY(combo->isEnabled());
        combo->setCurrentIndex(combo->findData(region));
        QCOMPARE(combo->currentText(),
                 QLocale::territoryToString(QLocale::codeToTerritory(region)) + u" ("_s + region
                     + u')');
        QCOMPARE(SettingsStore(file).ReadSetting(u"PhoneRegion"_s, QString()), region);
    }
    m_settings = std::make_unique<SettingsStore>(file);
    auto form = startWindow(m_dir->path());
    auto *combo = control<QComboBox>(*form, "PhoneRegionCombo");
    QCOMPARE(combo->currentData().toString(), region);
    QVERIFY(combo->isEnabled());
    form->fileList().append(QStringList{card});
    control<QLineEdit>(*form, "Text1")->setText(u"020 7946 0018"_s);
    control<QPushButton>(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), rows);
    QVERIFY(m_desktop->messages.size() == 1); // "Done."
}

void TestWindowMatchOptions::everyTextAndCountsPerText()
{
    const QString card = writeTestFile(*m_dir, u"two.vcf"_s,
                                       "BEGIN:VCARD\r\nFN:Anna Berg\r\nNOTE:Berlin\r\nEND:VCARD\r\n"
                                       "BEGIN:VCARD\r\nFN:Anna Meier\r\nEND:VCARD\r\n");
    m_settings->WriteSetting(u"FindSets"_s, u"::anna::berlin::zed"_s);
    auto form = startWindow(m_dir->path());
    form->show();
    form->fileList().append(QStringList{card});
    auto *every = control<QCheckBox>(*form, "EveryTextCheck");
    QCOMPARE(every->text(), u"Only cards that hold every text"_s);
    QVERIFY(control<QGroupBox>(*form, "Frame1")->isAncestorOf(every));
    auto *table = control<QTableView>(*form, "ListView2");
    auto *counts = button(*form, "TextCountsButton");
    // One text: neither the column of the texts nor their counts.
    QVERIFY(!every->isEnabled());
    control<QLineEdit>(*form, "Text1")->setText(u"anna"_s);
    button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 2);
    QVERIFY(table->isColumnHidden(4));
    QVERIFY(!counts->isVisible());

    QTest::mouseClick(control<QRadioButton>(*form, "Option4"), Qt::LeftButton);
    QVERIFY(every->isEnabled());
    button(*form, "PushButton7")->click();
    QStringList found;
    for (qsizetype r = 0; r < form->results().count(); ++r)
        found.append(form->results().cell(r, 2) + u'=' + form->results().cell(r, 5));
    QCOMPARE(found, (QStringList{u"FirstName=anna"_s, u"Notes=berlin"_s, u"FirstName=anna"_s}));
    QVERIFY(!table->isColumnHidden(4));
    QVERIFY(counts->isVisible());
    counts->click();
    auto *list = control<QTableWidget>(*form, "TextCountsList");
    QStringList listed;
    for (int r = 0; r < list->rowCount(); ++r) {
        QString line;
        for (int c = 0; c < list->columnCount(); ++c)
            line += list->item(r, c)->text() + u' ';
        listed.append(line + (list->item(r, 0)->font().italic() ? u"(nothing)"_s : QString()));
    }
    QCOMPARE(listed,
             (QStringList{u"All rows 3 2 1 "_s, u"anna 2 2 1 "_s, u"berlin 1 1 1 "_s,
                          u"zed 0 0 0 (nothing)"_s}));
    // An entry shows its rows alone, "All rows" every row again.
    list->setCurrentCell(2, 0);
    QCOMPARE(form->resultsProxy().shownCount(), 1);
    QVERIFY(control<QLabel>(*form, "StatusLine")->text().contains(u"1 shown"_s));
    list->setCurrentCell(0, 0);
    QCOMPARE(form->resultsProxy().shownCount(), 3);

    // Every text: no card holds "zed".
    QTest::mouseClick(every, Qt::LeftButton);
    QCOMPARE(m_settings->ReadSetting(u"EveryText"_s, QString()), u"True"_s);
    button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 0);
    QTRY_COMPARE(list->item(1, 1)->text(), u"0"_s);
}

void TestWindowMatchOptions::searchInAcrossARestart()
{
    const QString card = writeTestFile(*m_dir, u"jan.vcf"_s,
                                       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Müller;Jan;;;\r\n"
                                       "TEL;TYPE=CELL:+49 176 1234\r\nNOTE:+49 176 1234\r\n"
                                       "END:VCARD\r\n");
    const auto rows = [&](Form1 &form) {
        form.fileList().append(QStringList{card});
        control<QLineEdit>(form, "Text1")->setText(u"+49"_s);
        control<QPushButton>(form, "PushButton7")->click();
        QStringList tags;
        for (qsizetype r = 0; r < form.results().count(); ++r)
            tags.append(form.results().cell(r, 2));
        return tags;
    };
    const auto action = [](Form1 &form, const QString &caption) -> QAction * {
        QMenu *menu = control<QPushButton>(form, "SearchInButton")->menu();
        for (QAction *each : menu->findChildren<QAction *>()) {
            if (each->text() == caption)
                return each;
        }
        return nullptr;
    };
    const QString file = m_settings->fileName();
    {
        auto form = startWindow(m_dir->path());
        auto *button = control<QPushButton>(*form, "SearchInButton");
        QVERIFY(control<QGroupBox>(*form, "Frame1")->isAncestorOf(button));
        QCOMPARE(button->text(), u"Search in: All fields"_s);
        action(*form, u"Phones"_s)->trigger();
        action(*form, u"LastName"_s)->trigger();
        QCOMPARE(button->toolTip(), u"Search in: Phones, LastName"_s);
        QCOMPARE(SettingsStore(file).ReadSetting(u"SearchIn"_s, QString()), u"phones,LastName"_s);
        QVERIFY(!action(*form, u"All fields"_s)->isChecked());
        QCOMPARE(rows(*form), (QStringList{u"Mobile"_s}));
    }
    m_settings = std::make_unique<SettingsStore>(file);
    auto form = startWindow(m_dir->path());
    QVERIFY(action(*form, u"Phones"_s)->isChecked() && action(*form, u"LastName"_s)->isChecked());
    QCOMPARE(control<QPushButton>(*form, "SearchInButton")->toolTip(),
             u"Search in: Phones, LastName"_s);
    action(*form, u"All fields"_s)->trigger();
    QVERIFY(!action(*form, u"Phones"_s)->isChecked());
    QCOMPARE(control<QPushButton>(*form, "SearchInButton")->text(), u"Search in: All fields"_s);
    QCOMPARE(m_settings->ReadSetting(u"SearchIn"_s, u"absent"_s), QString());
    QCOMPARE(rows(*form), (QStringList{u"Mobile"_s, u"Notes"_s}));
}

QTEST_MAIN(TestWindowMatchOptions)
#include "tst_window_match_options.moc"
