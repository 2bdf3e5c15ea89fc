// The workbook of the results: the cells that the written file holds, and the widths of
// its columns.

#include "WorkbookCells.h"
#include "results/ResultsModel.h"
#include "results/WorkbookExport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestWorkbook final : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void columnWidths_data();
    void columnWidths();
};

void TestWorkbook::cells_data()
{
    QTest::addColumn<QList<QStringList>>("results"); // File, Tag, Value, Contact[, Search text]
    QTest::addColumn<QStringList>("cells"); // as the sheet holds them
    QTest::addColumn<int>("shortened");
    QTest::newRow("captions of the first row; empty cells move left; formulas stay text")
        << QList<QStringList>{{u"/c/a=b.vcf"_s, u"FirstName"_s, u"Alpha"_s, u"=Al"_s},
                              {u"/c/b.vcf"_s, u"No=tes"_s, u"=1+1"_s, QString()},
                              {u"/c/c.vcf"_s, QString(), u"x & <y>"_s, u"C"_s}}
        << QStringList{u"A1=File"_s,       u"B1=Tag"_s,       u"C1= Value"_s, u"D1=Contact"_s,
                       u"A2=/c/a=b.vcf"_s, u"B2=FirstName"_s, u"C2=Alpha"_s,  u"D2==Al"_s,
                       u"A3=/c/b.vcf"_s,   u"B3=No=tes"_s,    u"C3==1+1"_s,   u"A4=/c/c.vcf"_s,
                       u"B4=x & <y>"_s,    u"C4=C"_s}
        << 0;
    QTest::newRow("one text: no column of it")
        << QList<QStringList>{{u"/c/a.vcf"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s}}
        << QStringList{u"A1=File"_s,     u"B1=Tag"_s, u"C1= Value"_s, u"D1=Contact"_s,
                       u"A2=/c/a.vcf"_s, u"B2=T"_s,   u"C2=v"_s,      u"D2=C"_s}
        << 0;
    QTest::newRow("several texts: the one of each row after Contact")
        << QList<QStringList>{{u"/c/a.vcf"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s},
                              {u"/c/a.vcf"_s, u"T"_s, u"w"_s, u"C"_s, u"=bo"_s}}
        << QStringList{u"A1=File"_s,        u"B1=Tag"_s,      u"C1= Value"_s,   u"D1=Contact"_s,
                       u"E1=Search text"_s, u"A2=/c/a.vcf"_s, u"B2=T"_s,        u"C2=v"_s,
                       u"D2=C"_s,           u"E2=anna"_s,     u"A3=/c/a.vcf"_s, u"B3=T"_s,
                       u"C3=w"_s,           u"D3=C"_s,        u"E3==bo"_s}
        << 0;
    const auto notes = [](const QStringList &values) {
        QList<QStringList> rows;
        for (const QString &value : values)
            rows.append({u"/c/a.vcf"_s, u"Notes"_s, value, QString()});
        return rows;
    };
    const auto cells = [](const QStringList &values) {
        QStringList sheet{u"A1=File"_s, u"B1=Tag"_s, u"C1= Value"_s};
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QString row = QString::number(i + 2);
            sheet << u"A"_s + row + u"=/c/a.vcf"_s << u"B"_s + row + u"=Notes"_s
                  << u"C"_s + row + u'=' + values.at(i);
        }
        return sheet;
    };
    const QString v32766(32766, u'v');
    const QString v32767 = v32766 + u'v';
    const QString v40000(40000, u'v');
    QTest::newRow("NUL and other C0 controls; TAB and LF stay")
        << notes({u"a"_s + QChar(0) + u'b', u"a"_s + QChar(1) + QChar(0x1F) + u"\tb\nc"_s})
        << cells({u"a\uFFFDb"_s, u"a\uFFFD\uFFFD\tb\nc"_s}) << 0;
    QTest::newRow("U+FFFE and U+FFFF")
        << notes({u"a\uFFFEb\uFFFF"_s}) << cells({u"a\uFFFDb\uFFFD"_s}) << 0;
    QTest::newRow("lone surrogates; a pair stays")
        << notes({QChar(0xD800) + u"b"_s + QChar(0xDC00) + u"\U0001F600"_s + QChar(0xD83D)})
        << cells({u"\uFFFDb\uFFFD\U0001F600\uFFFD"_s}) << 0;
    QTest::newRow("a value that fills a cell") << notes({v32767}) << cells({v32767}) << 0;
    QTest::newRow("two values of 40,000 characters")
        << notes({v40000, v40000}) << cells({v32767, v32767}) << 2;
    QTest::newRow("a pair at the limit is not split")
        << notes({v32766 + u"\U0001F600"_s}) << cells({v32766}) << 1;
}

void TestWorkbook::cells()
{
    QFETCH(QList<QStringList>, results);
    QFETCH(QStringList, cells);
    QFETCH(int, shortened);
    ResultsModel model;
    QList<ResultRow> rows;
    QStringList texts;
    for (const QStringList &row : results) {
        rows.append({row.at(0), row.at(1), row.at(2), row.at(3), row.value(4)});
        if (row.size() > 4 && !texts.contains(row.at(4)))
            texts.append(row.at(4));
    }
    model.setSearchTexts(texts);
    model.appendRows(rows);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"results.xlsx"_s);
    const WorkbookWritten written = writeWorkbook(workbookRows(model), path);
    QCOMPARE(sheetCells(path), cells);
    QCOMPARE(written.shortened, shortened);
    QCOMPARE(written.problem, QString());
}

void TestWorkbook::columnWidths_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<double>>("widths");
    QTest::newRow("the longest text and one more")
        << QList<QStringList>{{u"File"_s, u"Tag"_s}, {u"/c/a=b.vcf"_s, u"T"_s}}
        << QList<double>{11, 4};
    QTest::newRow("the longest line of a cell")
        << QList<QStringList>{{u"two\nlines longer"_s}} << QList<double>{13};
    QTest::newRow("at most 255") << QList<QStringList>{{QString(300, u'x')}} << QList<double>{255};
    QTest::newRow("rows of other lengths")
        << QList<QStringList>{{u"a"_s}, {u"bb"_s, u"ccc"_s}} << QList<double>{3, 4};
}

void TestWorkbook::columnWidths()
{
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<double>, widths);
    QCOMPARE(fittedColumnWidths(rows), widths);
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
