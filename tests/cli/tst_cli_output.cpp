#include "cli/Output.h"
#include "results/ResultsText.h"

#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

// A results line's cells are written as bytes directly; they must be the bytes the
// line's text gives when written through Output::writeText.
class TestCliOutput : public QObject
{
    Q_OBJECT

private slots:
    void cellBytesAsWrittenText_data();
    void cellBytesAsWrittenText();

private:
    /// The bytes writeText writes for the flattened cell.
    static QByteArray writtenText(QStringView cell);
};

QByteArray TestCliOutput::writtenText(QStringView cell)
{
    QString flat;
    appendFlatCell(flat, cell);
    std::FILE *file = std::tmpfile();
    if (!file)
        return "no temporary file";
    Output out(file);
    out.writeText(flat);
    out.finish();
    QByteArray bytes(qsizetype(std::ftell(file)), '\0');
    std::rewind(file);
    const std::size_t read = std::fread(bytes.data(), 1, std::size_t(bytes.size()), file);
    std::fclose(file);
    bytes.truncate(qsizetype(read));
    return bytes;
}

void TestCliOutput::cellBytesAsWrittenText_data()
{
    QTest::addColumn<QString>("cell");
    const QString ascii = u"abcdefghijklmnopqrstuvwxyz0123456789"_s;
    QTest::newRow("ASCII shorter than a block") << u"abc"_s;
    QTest::newRow("ASCII of several blocks") << ascii;
    QTest::newRow("controls and DEL") << u"a\tb\rc\nd"_s + QChar(0) + u"\x1B[31m\x7F"_s;
    QTest::newRow("control in the second block") << ascii.first(9) + u'\n' + ascii;
    for (const qsizetype at : {0, 7, 8, 15, 33}) {
        QTest::addRow("two-byte letter at %lld", qlonglong(at))
            << ascii.first(at) + u"é"_s + ascii.first(10);
        QTest::addRow("lone high surrogate at %lld", qlonglong(at))
            << ascii.first(at) + QChar(0xD83D) + ascii.first(10);
        QTest::addRow("escaped byte at %lld", qlonglong(at))
            << ascii.first(at) + QChar(0xDCE9) + ascii.first(10);
    }
    QTest::newRow("three-byte letters and U+FFFF") << u"東京\uFFFF€"_s;
    QTest::newRow("surrogate pair") << u"a😀b"_s;
    QTest::newRow("pair whose low half is an escaped byte's")
        << u"x"_s + QChar(0xDBFF) + QChar(0xDC80) + u"y"_s;
    QTest::newRow("lone low surrogate") << u"a"_s + QChar(0xDE00) + u"b"_s;
    QTest::newRow("high surrogate at the end") << u"a"_s + QChar(0xD800);
    QTest::newRow("escaped byte after a lone surrogate, then a control")
        << u"é"_s + QChar(0xD800) + QChar(0xDC80) + QChar(0xDCFF) + u"\t€"_s;
    QTest::newRow("empty") << QString();
}

void TestCliOutput::cellBytesAsWrittenText()
{
    QFETCH(QString, cell);
    OutputBytes bytes;
    bytes.append("pre");
    appendFlatCellBytes(bytes, cell);
    QCOMPARE(bytes.view().toByteArray(), "pre" + writtenText(cell));
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
