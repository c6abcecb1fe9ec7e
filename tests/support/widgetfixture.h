#pragma once

#include "faketools.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "tracecapture.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <centerwidget.h>
#include <common.h>
#include <memory>

namespace lumora::test {

// The text of a label, line edit or button; "-" for anything else.
QString textOf(QWidget* widget);

// The page on a scripted controller, with a temporary calibration root holding default poses
// for R6 and R7, the shared state and the audit logs reset, and every box answered and
// recorded. One per test.
class WidgetFixture
{
public:
    WidgetFixture();
    ~WidgetFixture();

    // A controller with values 12.3456789 * k - 20 at index k (four per link), announced.
    void connectRobot(int valueCount, const QString& robot = "R6");
    QString path(const QString& name) const { return dir.filePath(name); }
    template <class T = QWidget> T* find(const char* name) const
    {
        return page->findChild<T*>(name);
    }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QString text(const char* name) const { return textOf(find(name)); }
    // Every box so far as "title: text", separated by '|'; one that starts as the expected box
    // in its place, where that ends in "*", comes back as expected.
    QString boxes(const QString& expected = QString()) const;

    QTemporaryDir dir;
    ScriptedLink link;
    MessageBoxAnswerer answerer;
    std::unique_ptr<centerWidget> page;
};

QWidget* cellWidget(QGridLayout* grid, int row, int column);
// Lets posted events and deferred deletions run.
void settle();
// Caps the size of files this process writes until the result is released, so that a write
// fails even for root.
std::shared_ptr<void> limitFileSize(long bytes);

} // namespace lumora::test
