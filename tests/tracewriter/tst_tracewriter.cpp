#include "testmain.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <qflog.h>

#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace {

QString logName(const QString& base)
{
    return base + QStringLiteral("_") +
           QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

QByteArray fileBytes(const QString& base)
{
    QFile file(logName(base));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRecord(const QString& base, const QString& source, int index)
{
    tavrin::QFLog(QString(), QStringLiteral("[S|t]"), QString(), base, QStringLiteral("log"))
        << source << index;
}

// Runs body from inside an event loop and returns when the loop has gone idle once more.
void insideEventLoop(const std::function<void()>& body)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        body();
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    });
    loop.exec();
}

// Every line must be a whole record "[S|t] source index", and each source's indexes must come
// in order without a gap. Returns the count per source, or an empty map on the first fault.
std::map<QString, int> checkRecords(const QByteArray& bytes)
{
    static const QRegularExpression record(QStringLiteral(R"(^\[S\|t\] (\S+) (\d+)$)"));
    std::map<QString, int> next;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || !lines.last().isEmpty())
        return {};
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QRegularExpressionMatch match = record.match(QString::fromUtf8(lines.at(i)));
        if (!match.hasMatch())
            return {};
        int& expected = next[match.captured(1)];
        if (match.captured(2).toInt() != expected)
            return {};
        ++expected;
    }
    return next;
}

} // namespace

class TestTraceWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recordsArriveWholeAndInOrder_data();
    void recordsArriveWholeAndInOrder();
    void burstInsideLoopIsBuffered();
    void busyLoopStillGetsItsRecordsWritten();
    void processEndWritesTheRest_data();
    void processEndWritesTheRest();
    void unopenableFileKeepsConsoleAndObserver();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString base;
};

void TestTraceWriter::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    base = dir->filePath(QStringLiteral("log/tavrin/w/w"));
}

void TestTraceWriter::recordsArriveWholeAndInOrder_data()
{
    QTest::addColumn<int>("plainThreads");
    QTest::addColumn<int>("loopThreads");
    QTest::addColumn<bool>("mainInLoop");
    QTest::addColumn<int>("perSource");

    QTest::addRow("main thread, no loop") << 0 << 0 << false << 300;
    QTest::addRow("main thread in its loop") << 0 << 0 << true << 300;
    QTest::addRow("beyond one buffer in a loop") << 0 << 0 << true << 5000;
    QTest::addRow("threads without loops beside the loop") << 4 << 0 << true << 2000;
    QTest::addRow("threads with their own loops") << 0 << 3 << true << 2000;
    QTest::addRow("both kinds of thread, main without loop") << 2 << 2 << false << 2000;
}

void TestTraceWriter::recordsArriveWholeAndInOrder()
{
    QFETCH(int, plainThreads);
    QFETCH(int, loopThreads);
    QFETCH(bool, mainInLoop);
    QFETCH(int, perSource);

    std::vector<std::thread> plain;
    for (int t = 0; t < plainThreads; ++t) {
        plain.emplace_back([this, t, perSource] {
            for (int i = 0; i < perSource; ++i)
                writeRecord(base, QStringLiteral("plain%1").arg(t), i);
        });
    }
    std::vector<std::unique_ptr<QThread>> looping;
    for (int t = 0; t < loopThreads; ++t) {
        looping.emplace_back(QThread::create([this, t, perSource] {
            insideEventLoop([&] {
                for (int i = 0; i < perSource; ++i)
                    writeRecord(base, QStringLiteral("loop%1").arg(t), i);
            });
        }));
        looping.back()->start();
    }
    const auto writeMain = [this, perSource] {
        for (int i = 0; i < perSource; ++i)
            writeRecord(base, QStringLiteral("main"), i);
    };
    if (mainInLoop)
        insideEventLoop(writeMain);
    else
        writeMain();
    for (std::thread& thread : plain)
        thread.join();
    for (const auto& thread : looping)
        QVERIFY(thread->wait(30000));

    // Every writer has gone idle or ended: nothing may still be held back.
    const std::map<QString, int> counts = checkRecords(fileBytes(base));
    QCOMPARE(int(counts.size()), 1 + plainThreads + loopThreads);
    for (const auto& [source, count] : counts)
        QVERIFY2(count == perSource, qPrintable(source));
}

void TestTraceWriter::burstInsideLoopIsBuffered()
{
    // Few records inside a busy loop must not cost a write each: they are not in the file until
    // the loop is about to wait.
    QByteArray whileBusy;
    insideEventLoop([&] {
        for (int i = 0; i < 50; ++i)
            writeRecord(base, QStringLiteral("main"), i);
        whileBusy = fileBytes(base);
    });
    QVERIFY(whileBusy.size() < 50 * 12);
    const std::map<QString, int> counts = checkRecords(fileBytes(base));
    QCOMPARE(counts.size(), std::size_t(1));
    QCOMPARE(counts.at(QStringLiteral("main")), 50);
}

void TestTraceWriter::busyLoopStillGetsItsRecordsWritten()
{
    // A slot that never returns to its loop: its records reach the file all the same.
    bool written = false;
    insideEventLoop([&] {
        writeRecord(base, QStringLiteral("main"), 0);
        QDeadlineTimer deadline(5000);
        while (!written && !deadline.hasExpired())
            written = fileBytes(base) == "[S|t] main 0\n";
    });
    QVERIFY(written);
}

void TestTraceWriter::processEndWritesTheRest_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addRow("exit() from inside the loop") << QStringLiteral("exit");
    QTest::addRow("main returns") << QStringLiteral("return");
}

void TestTraceWriter::processEndWritesTheRest()
{
    QFETCH(QString, mode);
    QProcess helper;
    helper.start(QStringLiteral(TRACEWRITER_HELPER), {base, mode, QStringLiteral("3000")});
    QVERIFY(helper.waitForFinished(30000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    const std::map<QString, int> counts = checkRecords(fileBytes(base));
    QCOMPARE(counts.size(), std::size_t(1));
    QCOMPARE(counts.at(QStringLiteral("record")), 3000);
}

void TestTraceWriter::unopenableFileKeepsConsoleAndObserver()
{
    // A plain file where the log folder belongs.
    QFile blocker(dir->filePath(QStringLiteral("log")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QStringList seen;
    tavrin::QFLog::setObserver(
        [&seen](const tavrin::QFLog::Record& record) { seen.append(record.text); });
    for (int i = 0; i < 3; ++i) {
        tavrin::QFLog line(QString(), QStringLiteral("[S|t]"), QString(), base,
                           QStringLiteral("log"));
        QVERIFY(!line.file.isOpen());
        line << "record" << i;
    }
    tavrin::QFLog::setObserver(nullptr);
    QCOMPARE(seen, (QStringList{QStringLiteral("record 0"), QStringLiteral("record 1"),
                                QStringLiteral("record 2")}));
    QVERIFY(!QFile::exists(logName(base)));
}

LUMORA_TEST_MAIN(TestTraceWriter)
#include "tst_tracewriter.moc"
