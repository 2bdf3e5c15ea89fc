// The results as the table shows them: natural order, sorting, filtering, rows arriving
// while sorted or filtered, the worker thread, ticks through the view and the counts.

#include "results/NaturalCompare.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ResultRow)

namespace {

/// Rows with numbered paths, a few tags and values and contacts that repeat, so that
/// every column has equal cells and numbers of different lengths.
QList<ResultRow> generatedRows(int count, int seed)
{
    static const QString tags[] = {u"FirstName"_s, u"Emails1"_s, u"Notes"_s, u"Phones2"_s};
    quint32 state = quint32(seed) * 2654435761u + 1;
    const auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    QList<ResultRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        rows.append({u"/cards/dir%1/File%2.vcf"_s.arg(next(7)).arg(next(400)), tags[next(4)],
                     u"value %1 x"_s.arg(next(1000)),
                     next(3) == 0 ? u"ann %1"_s.arg(next(50)) : u"Bo %1"_s.arg(next(50))});
    }
    return rows;
}

bool holds(const ResultsModel &model, qsizetype r, const QString &text)
{
    for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
        if (model.cell(r, k).contains(text))
            return true;
    }
    return false;
}

QList<qsizetype> shownRows(const ResultsProxyModel &view)
{
    QList<qsizetype> rows;
    for (int v = 0; v < view.rowCount(); ++v)
        rows.append(view.mapToSource(view.index(v, 0)).row());
    return rows;
}

/// Checks that the view shows exactly the rows that hold filter (with their case), in
/// natural order of column with equal cells in the order found, or as found for -1.
void checkShown(const ResultsProxyModel &view, const ResultsModel &model, const QString &filter,
                int column, Qt::SortOrder order)
{
    QList<qsizetype> expected;
    for (qsizetype r = 0; r < model.count(); ++r) {
        if (filter.isEmpty() || holds(model, r, filter))
            expected.append(r);
    }
    const QList<qsizetype> shown = shownRows(view);
    QCOMPARE(view.shownCount(), expected.size());
    if (column < 0) {
        QCOMPARE(shown, expected);
        return;
    }
    QList<qsizetype> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sorted, expected);
    for (qsizetype i = 1; i < shown.size(); ++i) {
        const qsizetype a = shown.at(i - 1);
        const qsizetype b = shown.at(i);
        int order01 = naturalCompare(model.cell(a, column + 1), model.cell(b, column + 1));
        if (order == Qt::DescendingOrder)
            order01 = -order01;
        QVERIFY2(order01 < 0 || (order01 == 0 && a < b),
                 qPrintable(u"view rows %1 and %2 out of order"_s.arg(i - 1).arg(i)));
    }
}

QStringList shownFiles(const ResultsProxyModel &view)
{
    QStringList files;
    for (int v = 0; v < view.rowCount(); ++v)
        files.append(view.data(view.index(v, 0)).toString());
    return files;
}

/// Texts that test the sort's keys: each starts with one of starts, then pieces of every
/// kind the natural order treats apart, a few of them the same string shared, a few the
/// same text held twice, and two numbers too long for a key.
QStringList keyTexts(const QStringList &starts, int count, int seed)
{
    static const QStringList pieces
        = u"a|A|b|\u00E4|\u00C4|\u00DF|-|/|:| "
          u"|0|007|7|10|\uFF21|\uFFFD|\uFFFF|\U00010400|\U00010428|"
          u"\U0001F600|123456789012345678901234|123456789012345678901235"_s.split(u'|');
    quint32 state = quint32(seed) * 2654435761u + 1;
    const auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && next(10) == 0) {
            const QString &earlier = texts.at(next(quint32(i)));
            texts.append(next(2) ? earlier : QString(earlier.constData(), earlier.size()));
            continue;
        }
        QString text = starts.at(next(quint32(starts.size())));
        for (quint32 n = next(12); n > 0; --n)
            text += pieces.at(next(quint32(pieces.size())));
        texts.append(text);
    }
    texts.append(starts.front() + QString(70000, u'1'));
    texts.append(starts.front() + QString(65536, u'2'));
    return texts;
}

} // namespace

class TestResultsProxy final : public QObject
{
    Q_OBJECT

private slots:
    void naturalOrder_data();
    void naturalOrder();
    void sortedAsCompared_data();
    void sortedAsCompared();
    void sorting_data();
    void sorting();
    void filtering_data();
    void filtering();
    void appendedRows_data();
    void appendedRows();
    void whileArranging_data();
    void whileArranging();
    void ticks_data();
    void ticks();
    void counts_data();
    void counts();
};

void TestResultsProxy::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("numbers by value") << u"file2.vcf"_s << u"file10.vcf"_s << -1;
    QTest::newRow("leading zeros do not count") << u"file007"_s << u"file10"_s << -1;
    QTest::newRow("runs longer than 64 bits")
        << u"a99999999999999999999999"_s << u"a100000000000000000000000"_s << -1;
    QTest::newRow("long runs of the same length")
        << u"a123456789012345678902"_s << u"a123456789012345678901"_s << 1;
    QTest::newRow("a later number decides") << u"x1y2"_s << u"x1y10"_s << -1;
    QTest::newRow("letters without regard to case") << u"apple"_s << u"Banana"_s << -1;
    QTest::newRow("non-ASCII letters without regard to case") << u"Ärger"_s << u"äs"_s << -1;
    QTest::newRow("case decides texts otherwise equal") << u"Anna"_s << u"anna"_s << -1;
    QTest::newRow("leading zeros decide numbers otherwise equal") << u"f01"_s << u"f1"_s << -1;
    QTest::newRow("digits before letters") << u"9"_s << u"a"_s << -1;
    QTest::newRow("a number against punctuation") << u"a-1"_s << u"a1"_s << -1;
    QTest::newRow("a prefix first") << u"file"_s << u"file1"_s << -1;
    QTest::newRow("zero and nothing") << u"a"_s << u"a0"_s << -1;
    QTest::newRow("character outside the BMP") << u"\U0001F600"_s << u"\uFFFD"_s << 1;
    QTest::newRow("the same text") << u"Dir2/File10"_s << u"Dir2/File10"_s << 0;
    QTest::newRow("empty texts") << QString() << QString() << 0;
}

void TestResultsProxy::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(naturalCompare(a, b), order);
    QCOMPARE(naturalCompare(b, a), -order);
}

void TestResultsProxy::sortedAsCompared_data()
{
    QTest::addColumn<QStringList>("starts");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::newRow("mixed texts") << QStringList{QString()} << Qt::AscendingOrder;
    QTest::newRow("mixed texts, descending") << QStringList{QString()} << Qt::DescendingOrder;
    QTest::newRow("all start inside a number") << QStringList{u"dir12"_s} << Qt::AscendingOrder;
    QTest::newRow("all start with the same high surrogate")
        << QStringList{u"\U00010401"_s, u"\U00010428"_s, u"\U00010400x"_s} << Qt::AscendingOrder;
    QTest::newRow("all start with the same folder")
        << QStringList{u"/cards/dir/"_s, u"/cards/dir/File"_s, u"/cards/dir/file0"_s}
        << Qt::DescendingOrder;
}

void TestResultsProxy::sortedAsCompared()
{
    QFETCH(QStringList, starts);
    QFETCH(Qt::SortOrder, order);
    const QStringList texts = keyTexts(starts, 3000, 16);
    ResultsModel model;
    QList<ResultRow> rows;
    for (const QString &text : texts)
        rows.append({u"/f"_s, u"T"_s, text, u"C"_s});
    model.appendRows(rows);
    ResultsProxyModel view(model);
    view.setSort(2, order);
    QList<qsizetype> expected(texts.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](qsizetype x, qsizetype y) {
        return order == Qt::AscendingOrder ? naturalCompare(texts.at(x), texts.at(y)) < 0
                                           : naturalCompare(texts.at(y), texts.at(x)) < 0;
    });
    QCOMPARE(shownRows(view), expected);
}

void TestResultsProxy::sorting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("files");
    // Tags and contacts repeat, so their orders show that equal cells keep the found order.
    QTest::newRow("File ascending")
        << 0 << Qt::AscendingOrder << QStringList{u"a2"_s, u"A10"_s, u"B01"_s, u"b1"_s, u"b1"_s};
    QTest::newRow("File descending")
        << 0 << Qt::DescendingOrder << QStringList{u"b1"_s, u"b1"_s, u"B01"_s, u"A10"_s, u"a2"_s};
    QTest::newRow("Tag ascending, equal tags as found")
        << 1 << Qt::AscendingOrder << QStringList{u"A10"_s, u"b1"_s, u"B01"_s, u"a2"_s, u"b1"_s};
    QTest::newRow("Tag descending, equal tags as found")
        << 1 << Qt::DescendingOrder << QStringList{u"a2"_s, u"b1"_s, u"b1"_s, u"B01"_s, u"A10"_s};
    QTest::newRow("Value") << 2 << Qt::AscendingOrder
                           << QStringList{u"b1"_s, u"B01"_s, u"a2"_s, u"b1"_s, u"A10"_s};
    QTest::newRow("Contact, empty first")
        << 3 << Qt::AscendingOrder << QStringList{u"b1"_s, u"A10"_s, u"a2"_s, u"b1"_s, u"B01"_s};
    QTest::newRow("back to the order found")
        << -1 << Qt::AscendingOrder << QStringList{u"b1"_s, u"A10"_s, u"a2"_s, u"b1"_s, u"B01"_s};
}

void TestResultsProxy::sorting()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, files);
    ResultsModel model;
    model.appendRows({{u"b1"_s, u"Tag2"_s, u"v3"_s, u"Cy"_s},
                      {u"A10"_s, u"Tag1"_s, u"v20"_s, u"Bo"_s},
                      {u"a2"_s, u"Tag10"_s, u"v10"_s, u"Bo"_s},
                      {u"b1"_s, u"Tag10"_s, u"v10"_s, QString()},
                      {u"B01"_s, u"Tag2"_s, u"v3"_s, u"Cy"_s}});
    ResultsProxyModel view(model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    view.setSort(2, Qt::DescendingOrder); // a sort before: the new one starts from another order
    view.sort(column, order);
    QCOMPARE(view.sortColumn(), column);
    QCOMPARE(view.sortOrder(), order);
    QCOMPARE(shownFiles(view), files);
}

void TestResultsProxy::filtering_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("entry"); // the search text whose rows are shown, -1 for all
    QTest::newRow("in File") << u"dir"_s << false << QStringList{u"/dir/1.vcf"_s} << -1;
    QTest::newRow("in Tag") << u"Emails"_s << false << QStringList{u"/b/2.vcf"_s} << -1;
    QTest::newRow("in Value") << u"Straße"_s << false << QStringList{u"/c/3.vcf"_s} << -1;
    QTest::newRow("in Contact") << u"Lee"_s << false << QStringList{u"/d/4.vcf"_s} << -1;
    QTest::newRow("with case") << u"STRASSE"_s << false << QStringList{} << -1;
    QTest::newRow("ignoring case, folded fully")
        << u"STRASSE"_s << true << QStringList{u"/c/3.vcf"_s} << -1;
    QTest::newRow("ignoring case in File")
        << u"DIR"_s << true << QStringList{u"/dir/1.vcf"_s} << -1;
    QTest::newRow("ignoring case in Tag")
        << u"emails"_s << true << QStringList{u"/b/2.vcf"_s} << -1;
    QTest::newRow("ignoring case in Contact")
        << u"lee"_s << true << QStringList{u"/d/4.vcf"_s} << -1;
    QTest::newRow("empty text shows all")
        << QString() << false
        << QStringList{u"/dir/1.vcf"_s, u"/b/2.vcf"_s, u"/c/3.vcf"_s, u"/d/4.vcf"_s} << -1;
    QTest::newRow("in Search text")
        << u"blue"_s << false << QStringList{u"/b/2.vcf"_s, u"/d/4.vcf"_s} << -1;
    QTest::newRow("one text's rows")
        << QString() << false << QStringList{u"/b/2.vcf"_s, u"/d/4.vcf"_s} << 1;
    QTest::newRow("one text's rows, filtered")
        << u"one"_s << false << QStringList{u"/dir/1.vcf"_s} << 0;
}

void TestResultsProxy::filtering()
{
    QFETCH(QString, text);
    QFETCH(bool, ignoreCase);
    QFETCH(QStringList, files);
    QFETCH(int, entry);
    ResultsModel model;
    model.setSearchTexts({u"red"_s, u"blue"_s});
    model.appendRows({{u"/dir/1.vcf"_s, u"Notes"_s, u"one"_s, u"Ann"_s, u"red"_s},
                      {u"/b/2.vcf"_s, u"Emails1"_s, u"a@b"_s, u"Bo"_s, u"blue"_s},
                      {u"/c/3.vcf"_s, u"Notes"_s, u"Straße 1"_s, u"Cy"_s, u"red"_s},
                      {u"/d/4.vcf"_s, u"Notes"_s, u"x"_s, u"Al Lee"_s, u"blue"_s}});
    ResultsProxyModel view(model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    view.setFilter(u"Notes"_s, false); // another filter before: the new one replaces it
    view.setTextFilter(entry == 0 ? 1 : 0);
    view.setFilter(text, ignoreCase);
    view.setTextFilter(entry);
    QCOMPARE(shownFiles(view), files);
    QCOMPARE(view.rowCount(), files.size());
}

void TestResultsProxy::appendedRows_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::newRow("as found") << QString() << -1 << Qt::AscendingOrder;
    QTest::newRow("filtered") << u"Notes"_s << -1 << Qt::AscendingOrder;
    QTest::newRow("sorted") << QString() << 0 << Qt::AscendingOrder;
    QTest::newRow("sorted descending, filtered") << u"ann"_s << 3 << Qt::DescendingOrder;
}

void TestResultsProxy::appendedRows()
{
    QFETCH(QString, filter);
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    ResultsModel model;
    ResultsProxyModel view(model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    view.setFilter(filter, false);
    view.setSort(column, order);
    model.appendRows(generatedRows(300, 1));
    // A row kept current follows its row through the merges.
    const QPersistentModelIndex current = view.index(view.rowCount() / 2, 2);
    const QString currentValue = current.data().toString();
    const int sourceRow = view.mapToSource(current).row();
    for (int batch = 2; batch <= 5; ++batch)
        model.appendRows(generatedRows(batch * 40, batch));
    checkShown(view, model, filter, column, order);
    QVERIFY(current.isValid());
    QCOMPARE(view.mapToSource(current).row(), sourceRow);
    QCOMPARE(current.data().toString(), currentValue);
}

void TestResultsProxy::whileArranging_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("nothing") << u"nothing"_s;
    QTest::newRow("a few rows appended") << u"few"_s;
    QTest::newRow("many rows appended") << u"many"_s;
    QTest::newRow("another order") << u"sort"_s;
    QTest::newRow("another filter") << u"filter"_s;
    QTest::newRow("back to the order found") << u"found"_s;
    QTest::newRow("cleared") << u"clear"_s;
}

void TestResultsProxy::whileArranging()
{
    QFETCH(QString, meanwhile);
    const int many = int(ResultsProxyModel::kArrangeAtOnceRows) + 2000;
    ResultsModel model;
    model.appendRows(generatedRows(many, 7));
    ResultsProxyModel view(model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy arranging(&view, &ResultsProxyModel::arranging);
    QSignalSpy arranged(&view, &ResultsProxyModel::arranged);
    QString filter = u"File1"_s;
    int column = 0;
    Qt::SortOrder order = Qt::DescendingOrder;
    view.setFilter(filter, false);
    view.setSort(column, order);
    QVERIFY(view.isArranging());
    QCOMPARE(arranging.count(), 1);
    if (meanwhile == u"few") {
        model.appendRows(generatedRows(50, 8));
    } else if (meanwhile == u"many") {
        model.appendRows(generatedRows(many, 9));
    } else if (meanwhile == u"sort") {
        column = 3;
        order = Qt::AscendingOrder;
        view.setSort(column, order);
    } else if (meanwhile == u"filter") {
        filter = u"Notes"_s;
        view.setFilter(filter, false);
    } else if (meanwhile == u"found") {
        filter.clear();
        column = -1;
        view.setFilter(filter, false);
        view.setSort(column, order);
    } else if (meanwhile == u"clear") {
        model.clear();
        QCOMPARE(view.rowCount(), 0);
        QVERIFY(!view.isArranging());
        // The filter and order stay for the rows of the next search; another job
        // started now runs after the dropped one, whose result must not count.
        model.appendRows(generatedRows(many, 10));
        view.setSort(column, Qt::AscendingOrder);
        order = Qt::AscendingOrder;
    }
    QVERIFY(view.waitForArranged());
    QVERIFY(!view.isArranging());
    QCOMPARE(arranged.count(), arranging.count());
    checkShown(view, model, filter, column, order);
    if (QTest::currentTestFailed())
        return;
    // A stale result arriving late changes nothing.
    QCoreApplication::sendPostedEvents();
    checkShown(view, model, filter, column, order);
}

void TestResultsProxy::ticks_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("column");
    QTest::newRow("as found") << QString() << -1;
    QTest::newRow("sorted") << QString() << 2;
    QTest::newRow("filtered and sorted") << u"Notes"_s << 0;
}

void TestResultsProxy::ticks()
{
    QFETCH(QString, filter);
    QFETCH(int, column);
    ResultsModel model;
    model.appendRows(generatedRows(200, 3));
    ResultsProxyModel view(model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    view.setFilter(filter, false);
    view.setSort(column, Qt::DescendingOrder);

    // A tick set in the view lands on its row and is shown there.
    const QModelIndex third = view.index(2, 0);
    const int row = view.mapToSource(third).row();
    QSignalSpy viewChanged(&view, &QAbstractItemModel::dataChanged);
    QVERIFY(view.setData(third, Qt::Checked, Qt::CheckStateRole));
    QVERIFY(model.isChecked(row));
    QCOMPARE(view.data(third, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    QCOMPARE(viewChanged.count(), 1);
    QCOMPARE(viewChanged.at(0).at(0).value<QModelIndex>(), third);
    // It stays with its row when the order changes.
    view.setSort(-1, Qt::AscendingOrder);
    QCOMPARE(view.data(view.mapFromSource(model.index(row, 0)), Qt::CheckStateRole)
                 .value<Qt::CheckState>(),
             Qt::Checked);

    // "Tick all shown" ticks the shown rows only, in one change.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    view.tickShown(true);
    QCOMPARE(changed.count(), 1);
    for (qsizetype r = 0; r < model.count(); ++r)
        QCOMPARE(model.isChecked(r), filter.isEmpty() || holds(model, r, filter));
    model.setAllChecked(false);
    QCOMPARE(changed.count(), 2);
    for (qsizetype r = 0; r < model.count(); ++r)
        QVERIFY(!model.isChecked(r));
    model.setAllChecked(false); // nothing to change, nothing to repaint
    QCOMPARE(changed.count(), 2);
}

void TestResultsProxy::counts_data()
{
    QTest::addColumn<QList<ResultRow>>("rows");
    QTest::addColumn<qsizetype>("files");
    QTest::addColumn<qsizetype>("cards");
    const CardPlace first{1, 1, 0, 40};
    const CardPlace second{2, 5, 40, 80};
    QTest::newRow("none") << QList<ResultRow>{} << qsizetype(0) << qsizetype(0);
    QTest::newRow("rows of one card")
        << QList<ResultRow>{{u"/a"_s, u"T"_s, u"1"_s, u"A"_s, {}, first},
                            {u"/a"_s, u"U"_s, u"2"_s, u"A"_s, {}, first}}
        << qsizetype(1) << qsizetype(1);
    QTest::newRow("two cards of a file")
        << QList<ResultRow>{{u"/a"_s, u"T"_s, u"1"_s, u"A"_s, {}, first},
                            {u"/a"_s, u"T"_s, u"2"_s, u"B"_s, {}, second}}
        << qsizetype(1) << qsizetype(2);
    QTest::newRow("the same place and contact in two files")
        << QList<ResultRow>{{u"/a"_s, u"T"_s, u"1"_s, u"A"_s, {}, first},
                            {u"/b"_s, u"T"_s, u"1"_s, u"A"_s, {}, first}}
        << qsizetype(2) << qsizetype(2);
    QTest::newRow("a file listed twice counts once")
        << QList<ResultRow>{{u"/a"_s, u"T"_s, u"1"_s, u"A"_s, {}, first},
                            {u"/b"_s, u"T"_s, u"1"_s, u"B"_s, {}, first},
                            {u"/a"_s, u"T"_s, u"1"_s, u"A"_s, {}, first}}
        << qsizetype(2) << qsizetype(2);
}

void TestResultsProxy::counts()
{
    QFETCH(QList<ResultRow>, rows);
    QFETCH(qsizetype, files);
    QFETCH(qsizetype, cards);
    ResultsModel model;
    // One row at a time, as batches may split a file's rows.
    for (const ResultRow &row : rows)
        model.appendRows({row});
    QCOMPARE(model.fileCount(), files);
    QCOMPARE(model.cardCount(), cards);
    model.clear();
    QCOMPARE(model.fileCount(), 0);
    QCOMPARE(model.cardCount(), 0);
}

QTEST_GUILESS_MAIN(TestResultsProxy)
#include "tst_results_proxy.moc"
