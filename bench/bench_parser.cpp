// Throughput of the card parser and of the field matching alone, in MB/s:
//   bench_parser FILE        (a file of many cards, e.g. from quillory-bench-corpus)

#include "card/CardParser.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <QFile>
#include <QTest>

class BenchParser final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString path = qEnvironmentVariable("QUILLORY_BENCH_FILE");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("set QUILLORY_BENCH_FILE to a card file");
        m_bytes = prepareCardBytes(file.readAll());
        m_cards = CardParser::parseAll(m_bytes);
    }

    void parse()
    {
        qsizetype cards = 0;
        QElapsedTimer clock;
        clock.start();
        QBENCHMARK
        {
            CardParser::parse(m_bytes, [&](ContactFields &&) { ++cards; });
        }
        report("parse", clock.elapsed());
    }

    void match()
    {
        const TextMatcher matcher(QStringLiteral("tech"), true);
        QList<ResultRow> rows;
        QElapsedTimer clock;
        clock.start();
        QBENCHMARK
        {
            rows.clear();
            for (const ContactFields &card : std::as_const(m_cards))
                AddFieldMatches(card, QStringLiteral("f"), matcher, rows);
        }
        report("match", clock.elapsed());
    }

private:
    void report(const char *what, qint64 ms)
    {
        // QBENCHMARK runs the body at least once; the figure is per run of all bytes.
        const double mb = double(m_bytes.bytes.size()) / 1e6;
        qInfo("%s: %.0f MB/s over %.1f MB", what, ms > 0 ? mb / (double(ms) / 1000.0) : 0.0, mb);
    }

    CardBytes m_bytes;
    QList<ContactFields> m_cards;
};

QTEST_GUILESS_MAIN(BenchParser)
#include "bench_parser.moc"
