#include "auditfiles.h"
#include "auditlog.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QDir>
#include <QFile>
#include <QQueue>
#include <QRegularExpression>

#include <thread>
#include <vector>

using namespace lumora::test;

namespace {

const QDateTime fixedMoment(QDate(2026, 12, 5), QTime(8, 43, 5, 123));

} // namespace

class TestAuditLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void errorFileSelection_data();
    void errorFileSelection();
    void percentSignsKept_data();
    void percentSignsKept();
    void folderCreatedAndFilesReopenedPerLine();
    void unwritableTargets_data();
    void unwritableTargets();
    void dateRollover_data();
    void dateRollover();
    void concurrentWriters();
};

void TestAuditLog::init()
{
    removeLogs();
    setAuditClock([] { return fixedMoment; });
}

void TestAuditLog::cleanup()
{
    setAuditClock(nullptr);
    removeLogs();
}

void TestAuditLog::errorFileSelection_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("inErrorFile");

    QTest::addRow("rejected") << "被拒绝"
                              << "拒绝层=优化DH参数数量 原因=未找到完整优化结果" << true;
    QTest::addRow("exception") << "异常"
                               << "发生阶段=控制器重启 耗时=3ms" << true;
    QTest::addRow("numeric anomaly alone") << "数值异常"
                                           << "事件=DH参数或零点包含NaN/Inf" << false;
    QTest::addRow("reply with failure verdict") << "外部下发"
                                                << "阶段=DH_WRITE 实际=失败 响应=null" << true;
    QTest::addRow("reply with success verdict") << "外部下发"
                                                << "阶段=DH_WRITE 实际=成功 响应=true" << false;
    QTest::addRow("failure word at the start") << "输入到达"
                                               << "失败" << true;
    QTest::addRow("refused check layer") << "前置检查"
                                         << "结果=拒绝 期望=24 实际=0" << false;
    QTest::addRow("output") << "输出"
                            << "结果=成功" << false;
    QTest::addRow("tag with a trailing space") << "被拒绝 "
                                               << "x" << false;
    QTest::addRow("tag that only contains the word") << "严重异常"
                                                     << "x" << false;
    QTest::addRow("empty message") << "异常"
                                   << "" << true;
}

void TestAuditLog::errorFileSelection()
{
    QFETCH(QString, tag);
    QFETCH(QString, message);
    QFETCH(bool, inErrorFile);

    TraceCapture trace;
    writeAuditLog(QStringLiteral("p000042"), tag, message);

    const QString line =
        QStringLiteral("[%1] planId=p000042 时间=12/05 08:43:05.123 %2").arg(tag, message);
    const QDate day = fixedMoment.date();
    QCOMPARE(logLines(auditFilePath(day)), QStringList{line});
    QCOMPARE(logLines(errorFilePath(day)), inErrorFile ? QStringList{line} : QStringList());
    QCOMPARE(QFile::exists(errorFilePath(day)), inErrorFile);
    QCOMPARE(trace.lines(), QStringList{line});

    // UTF-8 without byte-order mark, one line feed per line.
    QFile raw(auditFilePath(day));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(raw.readAll(), line.toUtf8() + '\n');
}

void TestAuditLog::percentSignsKept_data()
{
    QTest::addColumn<QString>("message");
    QTest::addRow("placeholder") << "参数=%1";
    QTest::addRow("lone percent") << "进度 100%";
    QTest::addRow("several placeholders") << "%1 %2 %L3 %99";
    QTest::addRow("escaped looking") << "%%1%";
}

void TestAuditLog::percentSignsKept()
{
    QFETCH(QString, message);
    writeAuditLog(QStringLiteral("p000001"), QStringLiteral("数据组装"), message);
    writeAuditLog(QStringLiteral("p000001"), QStringLiteral("%1"), QStringLiteral("%2"));
    QCOMPARE(
        logLines(auditFilePath(fixedMoment.date())),
        (QStringList{QStringLiteral("[数据组装] planId=p000001 时间=12/05 08:43:05.123 ") + message,
                     QStringLiteral("[%1] planId=p000001 时间=12/05 08:43:05.123 %2")}));
}

void TestAuditLog::folderCreatedAndFilesReopenedPerLine()
{
    QVERIFY(!QFileInfo::exists(QStringLiteral("logs")));
    writeAuditLog(QStringLiteral("p000001"), QStringLiteral("异常"), QStringLiteral("first"));
    QVERIFY(QFileInfo(QStringLiteral("logs")).isDir());

    // Files may be moved away between lines: the next line starts a new file.
    const QDate day = fixedMoment.date();
    QVERIFY(QFile::rename(auditFilePath(day), auditFilePath(day) + QStringLiteral(".old")));
    QVERIFY(QDir(QStringLiteral("logs")).removeRecursively());
    writeAuditLog(QStringLiteral("p000001"), QStringLiteral("异常"), QStringLiteral("second"));
    writeAuditLog(QStringLiteral("p000001"), QStringLiteral("异常"), QStringLiteral("third"));
    const QStringList expected{
        QStringLiteral("[异常] planId=p000001 时间=12/05 08:43:05.123 second"),
        QStringLiteral("[异常] planId=p000001 时间=12/05 08:43:05.123 third")};
    QCOMPARE(logLines(auditFilePath(day)), expected);
    QCOMPARE(logLines(errorFilePath(day)), expected);
}

void TestAuditLog::unwritableTargets_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<bool>("blockerIsFile");
    QTest::addColumn<bool>("auditGetsLine");
    QTest::addColumn<bool>("errorGetsLine");

    const QString day = fixedMoment.date().toString(QStringLiteral("yyyy-MM-dd"));
    QTest::addRow("regular file named logs") << "logs" << true << false << false;
    QTest::addRow("audit file is a folder")
        << QStringLiteral("logs/audit-dev-%1.log").arg(day) << false << false << true;
    QTest::addRow("error file is a folder")
        << QStringLiteral("logs/error-%1.log").arg(day) << false << true << false;
}

void TestAuditLog::unwritableTargets()
{
    QFETCH(QString, blocker);
    QFETCH(bool, blockerIsFile);
    QFETCH(bool, auditGetsLine);
    QFETCH(bool, errorGetsLine);

    if (blockerIsFile) {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    } else {
        QVERIFY(QDir().mkpath(blocker));
    }

    TraceCapture trace;
    writeAuditLog(QStringLiteral("p000003"), QStringLiteral("被拒绝"), QStringLiteral("原因=x"));
    writeAuditLog(QStringLiteral("p000003"), QStringLiteral("输出"), QStringLiteral("结果=失败"));

    const QStringList lines{
        QStringLiteral("[被拒绝] planId=p000003 时间=12/05 08:43:05.123 原因=x"),
        QStringLiteral("[输出] planId=p000003 时间=12/05 08:43:05.123 结果=失败")};
    QCOMPARE(trace.lines(), lines);
    const QDate day = fixedMoment.date();
    QCOMPARE(logLines(auditFilePath(day)), auditGetsLine ? lines : QStringList());
    QCOMPARE(logLines(errorFilePath(day)), errorGetsLine ? lines : QStringList());
    if (blockerIsFile) {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }
}

void TestAuditLog::dateRollover_data()
{
    QTest::addColumn<QDateTime>("before");
    QTest::addColumn<QDateTime>("after");
    QTest::addRow("midnight") << QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59, 999))
                              << QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 0));
    QTest::addRow("new year") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999))
                              << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 0));
    QTest::addRow("leap day") << QDateTime(QDate(2028, 2, 28), QTime(23, 59, 59, 999))
                              << QDateTime(QDate(2028, 2, 29), QTime(0, 0, 0, 0));
}

void TestAuditLog::dateRollover()
{
    QFETCH(QDateTime, before);
    QFETCH(QDateTime, after);

    QQueue<QDateTime> moments;
    moments << before << after;
    setAuditClock([&moments] { return moments.isEmpty() ? QDateTime() : moments.dequeue(); });
    writeAuditLog(QStringLiteral("p000009"), QStringLiteral("异常"), QStringLiteral("one"));
    writeAuditLog(QStringLiteral("p000009"), QStringLiteral("异常"), QStringLiteral("two"));
    QVERIFY(moments.isEmpty());

    const QString format = QStringLiteral("[异常] planId=p000009 时间=%1 %2");
    const QString timeFormat = QStringLiteral("MM/dd hh:mm:ss.zzz");
    const QStringList first{format.arg(before.toString(timeFormat), QStringLiteral("one"))};
    const QStringList second{format.arg(after.toString(timeFormat), QStringLiteral("two"))};
    QCOMPARE(logLines(auditFilePath(before.date())), first);
    QCOMPARE(logLines(auditFilePath(after.date())), second);
    QCOMPARE(logLines(errorFilePath(before.date())), first);
    QCOMPARE(logLines(errorFilePath(after.date())), second);
}

void TestAuditLog::concurrentWriters()
{
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 2000;

    std::vector<std::thread> writers;
    for (int t = 0; t < threadCount; ++t) {
        writers.emplace_back([t] {
            for (int n = 0; n < linesPerThread; ++n) {
                // Every third line carries a failure verdict and is copied to the error file.
                const QString verdict =
                    n % 3 == 0 ? QStringLiteral("失败") : QStringLiteral("成功");
                writeAuditLog(QStringLiteral("p%1").arg(t + 1, 6, 10, QLatin1Char('0')),
                              QStringLiteral("外部下发"),
                              QStringLiteral("线程=%1 序号=%2 实际=%3 %4")
                                  .arg(t)
                                  .arg(n)
                                  .arg(verdict)
                                  .arg(QString(200, QLatin1Char('x'))));
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();

    const QStringList audit = logLines(auditFilePath(fixedMoment.date()));
    const QStringList errors = logLines(errorFilePath(fixedMoment.date()));
    QCOMPARE(audit.size(), threadCount * linesPerThread);

    const QRegularExpression format(
        QStringLiteral("^\\[外部下发\\] planId=p00000(\\d) 时间=12/05 08:43:05.123 线程=(\\d) "
                       "序号=(\\d+) 实际=(成功|失败) x{200}$"));
    QVector<int> nextPerThread(threadCount, 0);
    QStringList selected;
    for (const QString& line : audit) {
        const QRegularExpressionMatch match = format.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line.left(80)));
        const int thread = match.captured(2).toInt();
        const int number = match.captured(3).toInt();
        QCOMPARE(match.captured(1).toInt(), thread + 1);
        // Each thread's lines appear once, complete and in the order it wrote them.
        QCOMPARE(number, nextPerThread[thread]);
        ++nextPerThread[thread];
        if (match.captured(4) == QStringLiteral("失败"))
            selected.append(line);
    }
    QCOMPARE(nextPerThread, QVector<int>(threadCount, linesPerThread));
    QCOMPARE(selected.size(), threadCount * ((linesPerThread + 2) / 3));
    QCOMPARE(errors, selected);
}

LUMORA_TEST_MAIN(TestAuditLog)
#include "tst_auditlog.moc"
