#include "widgetfixture.h"

#include <QDir>

#include <csignal>
#include <interfacemanager.h>
#include <sys/resource.h>

namespace lumora::test {

WidgetFixture::WidgetFixture()
{
    common::robotIP = common::robotName = common::serialNumber = common::isoReportPath = "";
    common::modelType = common::axisNum = common::sampleTimes = 0;
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    common::isoPoses.clear();
    common::defaultIsoPoses.clear();
    QDir(QStringLiteral("logs")).removeRecursively();
    writeTextFile(path("iso/default_iso_poses.json"),
                  R"({"configs": [{"robots": ["R6", "R7"], "iso_poses": {
                  "point1": [10, 11, 12, 13, 14, 15], "point2": [20, 21, 22, 23, 24, 25],
                  "point3": [30, 31, 32, 33, 34, 35], "point4": [40, 41, 42, 43, 44, 45],
                  "point5": [50, 51, 52, 53, 54, 55]}}]})");
    tavrin::tavrinInterface().setControllerLink(&link);
    page = std::make_unique<centerWidget>();
    common::calibrationDir = dir.path();
}

WidgetFixture::~WidgetFixture()
{
    page.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    settle();
}

void WidgetFixture::connectRobot(int valueCount, const QString& robot)
{
    QVector<double> values;
    for (int k = 0; k < valueCount; ++k)
        values << 12.3456789 * k - 20;
    link.setIdentity("10.0.0.7", robot, 7);
    link.setDhLinks(values);
    emit tavrin::tavrinInterface().sigNetworkConnect();
    settle();
}

QString WidgetFixture::boxes(const QString& expected) const
{
    const QStringList patterns = expected.split('|');
    QStringList out;
    for (const SeenBox& box : answerer.boxes()) {
        const QString text = box.title + ": " + box.text, pattern = patterns.value(out.size());
        out << (pattern.endsWith('*') && text.startsWith(pattern.chopped(1)) ? pattern : text);
    }
    return out.join('|');
}

QString textOf(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    auto* button = qobject_cast<QAbstractButton*>(widget);
    return button ? button->text() : "-";
}

QWidget* cellWidget(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::shared_ptr<void> limitFileSize(long bytes)
{
    auto previous = std::make_shared<rlimit>();
    getrlimit(RLIMIT_FSIZE, previous.get());
    const rlimit limited{rlim_t(bytes), previous->rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    return std::shared_ptr<void>(nullptr, [previous, handler](void*) {
        setrlimit(RLIMIT_FSIZE, previous.get());
        std::signal(SIGXFSZ, handler);
    });
}

} // namespace lumora::test
