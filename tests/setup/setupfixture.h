#pragma once

#include "messageboxanswerer.h"
#include "scriptedlink.h"

#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class centerWidget;
class setupWidget;

namespace lumora::test {

// The page with the setup panel, a scripted controller and a temporary calibration root; one
// per test. Boxes that other panels may show on a connection are answered.
class SetupFixture
{
public:
    SetupFixture();
    ~SetupFixture();

    // A controller holding count values (four per link), announced as connected.
    void connectRobot(int valueCount);
    void connectRobot(const QVector<double>& values);
    void announce();
    // Lets shown widgets lay out and replaced ones be deleted.
    static void settle();

    // Operator steps, separated by ';': "row A" clicks axis A's row button, "all" clicks
    // selectAllBtn, "tick A P" / "untick A P" sets parameter P (0 to 3) of axis A.
    bool run(const QString& steps);

    setupWidget* panel() const;
    QGridLayout* grid() const;
    QCheckBox* box(int axis, int param) const;
    QLabel* value(int axis, int param) const;
    QPushButton* rowButton(int axis) const;
    QPushButton* selectAll() const;
    // Ticks of the axis rows, "1" per ticked box, rows separated by blanks: "0000 1111 0000".
    QString ticks(int axes) const;
    // Captions of the row buttons, separated by blanks.
    QString rowCaptions(int axes) const;

    static QVector<double> sampleValues(int count);

    std::unique_ptr<centerWidget> page;
    ScriptedLink link;
    QTemporaryDir root;
    MessageBoxAnswerer answerer;
};

} // namespace lumora::test
