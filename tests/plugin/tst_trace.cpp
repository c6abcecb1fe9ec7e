#include "testmain.h"
#include "trace.h"
#include "tracecapture.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonValue>
#include <QRegularExpression>
#include <QVector>

using lumora::test::TraceCapture;

class TestTrace : public QObject
{
    Q_OBJECT

private slots:
    void fiveFixedStrings();
    void itemsInOrder_data();
    void itemsInOrder();
    void sameMillisecondSameTag();
    void recordReachesPluginLogFile();
};

void TestTrace::fiveFixedStrings()
{
    TraceCapture capture;
    const QDateTime before = QDateTime::currentDateTime();
    common::trace() << "resetAll"
                    << "[in]";
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(capture.records().size(), 1);
    const tavrin::QFLog::Record record = capture.records().first();
    QCOMPARE(record.color, QStringLiteral("\033[35m"));
    QCOMPARE(record.color.size(), 5);
    QVERIFY(record.extra.isEmpty());
    QCOMPARE(record.fileBase, QStringLiteral("./log/tavrin/lumoracalibration/lumoracalibration"));
    QCOMPARE(record.suffix, QStringLiteral("log"));
    QCOMPARE(record.text, QStringLiteral("resetAll [in]"));

    const QRegularExpression tag(QStringLiteral(R"(^\[S\|(\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d)\]$)"));
    const QRegularExpressionMatch match = tag.match(record.tag);
    QVERIFY2(match.hasMatch(), qPrintable(record.tag));
    const QString format = QStringLiteral("MM/dd hh:mm:ss.zzz");
    const QString stamp = match.captured(1);
    QVERIFY(stamp >= before.toString(format) || before.date() != after.date());
    QVERIFY(stamp <= after.toString(format) || before.date() != after.date());
}

void TestTrace::itemsInOrder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::addRow("label and int") << 0 << QStringLiteral("common::axisNum :  6");
    QTest::addRow("QString unquoted") << 1 << QStringLiteral("Runtime error:  boom");
    QTest::addRow("vector") << 2 << QStringLiteral("v :  QVector(1, 2.5)");
    QTest::addRow("json array") << 3 << QStringLiteral("QJsonArray([1,\"a\"])");
}

void TestTrace::itemsInOrder()
{
    QFETCH(int, kind);
    QFETCH(QString, expected);
    TraceCapture capture;
    switch (kind) {
    case 0:
        common::trace() << "common::axisNum : " << 6;
        break;
    case 1:
        common::trace() << "Runtime error: " << QStringLiteral("boom");
        break;
    case 2:
        common::trace() << "v : " << QVector<double>{1, 2.5};
        break;
    default:
        common::trace() << QJsonArray{1, QStringLiteral("a")};
        break;
    }
    QCOMPARE(capture.lines(), QStringList{expected});
}

void TestTrace::sameMillisecondSameTag()
{
    // Lines written within one millisecond carry one tag; try until two lines share one.
    TraceCapture capture;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        capture.clear();
        const QDateTime before = QDateTime::currentDateTime();
        common::trace() << "first";
        common::trace() << "second";
        if (QDateTime::currentDateTime() != before)
            continue;
        const QList<tavrin::QFLog::Record> records = capture.records();
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(0).tag, records.at(1).tag);
        return;
    }
    QSKIP("no two lines fell into one millisecond");
}

void TestTrace::recordReachesPluginLogFile()
{
    common::trace() << "writeIntoJson"
                    << "[in]";
    const QString name = QStringLiteral("./log/tavrin/lumoracalibration/lumoracalibration_%1.log")
                             .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QFile file(name);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines.at(lines.size() - 2).endsWith("] writeIntoJson [in]"));
    QVERIFY(lines.at(lines.size() - 2).startsWith("[S|"));
}

LUMORA_TEST_MAIN(TestTrace)
#include "tst_trace.moc"
