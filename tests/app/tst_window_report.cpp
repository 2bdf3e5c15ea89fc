// The reading report in the window: the button beside the count line, its dialog, a row
// opening its file at the line concerned, and the report saved as JSON.

#include "WindowTest.h"

#include "filelist/FileListModel.h"
#include "gui/Form1.h"

#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "TestFiles.h"

using namespace Qt::StringLiterals;

class TestWindowReport : public WindowTest
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeFixture()); }
    void cleanup() { dropFixture(); }
    void reportOpensFilesAtTheirLines();
};

void TestWindowReport::reportOpensFilesAtTheirLines()
{
    // A file name that looks like markup stays plain text everywhere it is shown.
    const QString nested = writeTestFile(
        *m_dir, u"<b>nested</b>.vcf"_s,
        "BEGIN:VCARD\r\nFN:Outer Ann\r\nBEGIN:VCARD\r\nFN:Inner\r\nEND:VCARD\r\nEND:VCARD\r\n");
    const QString plain
        = writeTestFile(*m_dir, u"plain.vcf"_s, "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n");
    const QString unclosed = writeTestFile(*m_dir, u"unclosed.vcf"_s,
                                           "BEGIN:VCARD\r\nFN:Bo\r\nEND:VCARD\r\nBEGIN:VCARD\r\n");
    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->fileList().append(QStringList{nested, plain, unclosed});
    control<QLineEdit>(*form, "Text1")->setText(u"ann"_s);
    QPushButton *reportButton = button(*form, "ReportButton");
    QVERIFY(!reportButton->isEnabled());
    button(*form, "PushButton7")->click();
    QCOMPARE(reportButton->text(), u"2 files with problems"_s);
    QVERIFY(reportButton->isEnabled());
    QCOMPARE(control<QLabel>(*form, "StatusLine")->textFormat(), Qt::PlainText);

    reportButton->click();
    auto *dialog = form->findChild<QDialog *>(u"ReadingReport"_s);
    QVERIFY(dialog);
    auto *table = control<QTableWidget>(*dialog, "ReportFiles");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), nested);
    QCOMPARE(table->item(0, 1)->text(), u"nested card"_s);
    QCOMPARE(table->item(1, 1)->text(), u"unclosed card"_s);
    QCOMPARE(control<QLabel>(*dialog, "ReportSummary")->textFormat(), Qt::PlainText);
    if (!qEnvironmentVariableIsEmpty("QUILLORY_REPORT_SHOW_MS")) {
        // For a screenshot of the report in the window.
        form->show();
        dialog->raise();
        QTest::qWait(qEnvironmentVariableIntValue("QUILLORY_REPORT_SHOW_MS"));
    }

    // A row opens its file at the line concerned.
    m_desktop->programsOnPath = {u"gedit"_s};
    table->setCurrentCell(1, 0);
    button(*dialog, "ReportOpen")->click();
    QCOMPARE(m_desktop->started.size(), 1);
    QCOMPARE(m_desktop->started.first().arguments, (QStringList{u"+4"_s, unclosed}));

    // Saved as JSON; a file searched is never replaced by it.
    const QString saved = m_dir->filePath(u"report.json"_s);
    m_desktop->messages.clear();
    m_desktop->saveResults.enqueue(saved);
    m_desktop->saveResults.enqueue(plain);
    button(*dialog, "ReportSave")->click();
    button(*dialog, "ReportSave")->click();
    const QJsonObject report = QJsonDocument::fromJson(readTestFile(saved)).object();
    QCOMPARE(report[u"files_with_problems"_s].toInt(), 2);
    QCOMPARE(report[u"cards"_s].toInt(), 5);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(readTestFile(plain), QByteArray("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n"));

    // "Clear" under the results drops the report with them.
    button(*form, "PushButton2")->click();
    QVERIFY(!reportButton->isEnabled());
    QCOMPARE(reportButton->text(), u"Reading report"_s);
}

QTEST_MAIN(TestWindowReport)
#include "tst_window_report.moc"
