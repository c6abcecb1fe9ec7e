#include "centerwidget.h"
#include "common.h"
#include "faketools.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <interfacemanager.h>
#include <malloc.h>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define LUMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMORA_ASAN 1
#endif
#endif
#ifdef LUMORA_ASAN
#include <sanitizer/allocator_interface.h>
#endif

using namespace lumora::test;

namespace {

struct Robot
{
    QString name;
    int axes;
};

const Robot robots[2] = {{QStringLiteral("R6"), 6}, {QStringLiteral("R7"), 7}};

// What the host's event loop would do between two connections: without it, layout requests of
// the rebuilt tables pile up and every deletion scans the whole queue.
void processPostedEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Bytes the allocator has handed out and not got back, after returning what it can.
qint64 heapInUse()
{
#ifdef LUMORA_ASAN
    // The sanitizer's allocator replaces malloc's, and keeps its own count.
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    malloc_trim(0);
    return qint64(mallinfo2().uordblks);
#endif
}

} // namespace

// Long runs of the page: controller connections by the thousand and pages created and destroyed
// by the hundred must not pile up widgets or memory.
class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectionsKeepTheWidgetCountSteady();
    void pageCreationsKeepTheHeapBounded();

private:
    void newPage();
    void connectRobot(const Robot& robot);

    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<ScriptedLink> link;
    std::unique_ptr<centerWidget> page;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestSoak::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    QJsonObject poses;
    for (int k = 1; k <= 5; ++k)
        poses.insert(QStringLiteral("point%1").arg(k), QJsonArray{100 * k, 0, 400, 180, 0, 0});
    const QJsonObject group{{"robots", QJsonArray{robots[0].name, robots[1].name}},
                            {"iso_poses", poses}};
    QVERIFY(writeTextFile(root->filePath(QStringLiteral("iso/default_iso_poses.json")),
                          QJsonDocument(QJsonObject{{"configs", QJsonArray{group}}}).toJson()));
    link = std::make_unique<ScriptedLink>();
    tavrin::tavrinInterface().setControllerLink(link.get());
    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestSoak::cleanup()
{
    page.reset();
    processPostedEvents();
    answerer.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    link.reset();
    root.reset();
}

void TestSoak::newPage()
{
    page = std::make_unique<centerWidget>();
    common::calibrationDir = root->path();
}

void TestSoak::connectRobot(const Robot& robot)
{
    link->setIdentity(QStringLiteral("10.0.0.5"), robot.name, robot.axes);
    QVector<double> dh;
    for (int k = 0; k < 4 * (robot.axes + 1); ++k)
        dh << 0.25 * k + robot.axes;
    link->setDhLinks(dh);
    emit tavrin::tavrinInterface().sigNetworkConnect();
    // The scripted link remembers every call; that record is the test's, not the page's.
    link->calls.clear();
    processPostedEvents();
}

void TestSoak::connectionsKeepTheWidgetCountSteady()
{
    newPage();
    // Widget counts settle after one connection of each robot; the heap (caches of styles and
    // fonts) only after a few hundred.
    const int widgetWarmUp = 4;
    const int heapWarmUp = 400;
    const int connections = 1000;
    int widgets[2] = {0, 0};
    int objects[2] = {0, 0};
    qint64 heapBefore = 0;
    QElapsedTimer clock;

    for (int i = 0; i < connections; ++i) {
        const int type = i % 2;
        if (i == heapWarmUp) {
            heapBefore = heapInUse();
            clock.start();
        }
        connectRobot(robots[type]);
        QCOMPARE(common::axisNum, robots[type].axes);
        const int widgetCount = page->findChildren<QWidget*>().size();
        const int objectCount = page->findChildren<QObject*>().size();
        if (i < widgetWarmUp) {
            widgets[type] = widgetCount;
            objects[type] = objectCount;
            continue;
        }
        QCOMPARE(widgetCount, widgets[type]);
        QCOMPARE(objectCount, objects[type]);
    }
    const qint64 elapsed = clock.elapsed();
    const qint64 growth = heapInUse() - heapBefore;

    qInfo("live child widgets of the page: %d with six axes, %d with seven (child objects %d, %d)",
          widgets[0], widgets[1], objects[0], objects[1]);
    qInfo("%d connections, %.2f ms each; heap growth over the last %d: %lld bytes", connections,
          double(elapsed) / (connections - heapWarmUp), connections - heapWarmUp, growth);
    // The seven-axis table has one more row than the six-axis one.
    QVERIFY(widgets[1] > widgets[0]);
    QCOMPARE(answerer->count(), 0);
    QVERIFY2(growth < 32 * 1024, qPrintable(QString::number(growth)));
}

void TestSoak::pageCreationsKeepTheHeapBounded()
{
    const int warmUp = 10;
    const int creations = 100;
    qint64 before = 0;
    for (int i = 0; i < warmUp + creations; ++i) {
        if (i == warmUp)
            before = heapInUse();
        newPage();
        connectRobot(robots[i % 2]);
        page.reset();
        processPostedEvents();
    }
    const qint64 after = heapInUse();
    qInfo("heap in use after %d warm-up pages %lld bytes, after %d more %lld bytes: growth %lld "
          "bytes (%lld per page)",
          warmUp, before, creations, after, after - before, (after - before) / creations);
    QCOMPARE(answerer->count(), 0);
    QVERIFY2(after - before < 32 * 1024, qPrintable(QString::number(after - before)));
}

LUMORA_TEST_MAIN(TestSoak)
#include "tst_soak.moc"
