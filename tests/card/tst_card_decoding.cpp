#include <QTest>
class T final : public QObject { Q_OBJECT private slots: void placeholder() {} };
QTEST_GUILESS_MAIN(T)
#include "tst_card_decoding.moc"
