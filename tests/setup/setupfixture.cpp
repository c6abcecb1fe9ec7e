#include "setupfixture.h"

#include "centerwidget.h"
#include "common.h"
#include "setupwidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <interfacemanager.h>

namespace lumora::test {

namespace {

QWidget* cell(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

} // namespace

SetupFixture::SetupFixture()
{
    common::robotIP.clear();
    common::robotName.clear();
    common::modelType = 0;
    common::serialNumber.clear();
    common::axisNum = 0;
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();

    page = std::make_unique<centerWidget>();
    common::calibrationDir = root.path();
    tavrin::tavrinInterface().setControllerLink(&link);
    page->resize(1400, 1000);
    page->show();
    settle();
}

SetupFixture::~SetupFixture()
{
    page.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    settle();
}

void SetupFixture::connectRobot(int valueCount)
{
    connectRobot(sampleValues(valueCount));
}

void SetupFixture::connectRobot(const QVector<double>& values)
{
    link.setDhLinks(values);
    announce();
}

void SetupFixture::announce()
{
    emit tavrin::tavrinInterface().sigNetworkConnect();
    settle();
}

void SetupFixture::settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool SetupFixture::run(const QString& steps)
{
    for (const QString& step : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = step.simplified().split(QLatin1Char(' '));
        QAbstractButton* target = nullptr;
        if (words.at(0) == QLatin1String("all")) {
            target = selectAll();
        } else if (words.at(0) == QLatin1String("row") && words.size() == 2) {
            target = rowButton(words.at(1).toInt());
        } else if (words.size() == 3) {
            QCheckBox* checkBox = box(words.at(1).toInt(), words.at(2).toInt());
            if (!checkBox)
                return false;
            checkBox->setChecked(words.at(0) == QLatin1String("tick"));
            continue;
        }
        if (!target || !target->isVisible())
            return false;
        QTest::mouseClick(target, Qt::LeftButton);
    }
    return true;
}

setupWidget* SetupFixture::panel() const
{
    return setupWidget::instance();
}

QGridLayout* SetupFixture::grid() const
{
    return panel()->findChild<QGridLayout*>(QStringLiteral("tableLayout"));
}

QCheckBox* SetupFixture::box(int axis, int param) const
{
    QWidget* widget = cell(grid(), axis + 2, param + 1);
    return widget ? widget->findChild<QCheckBox*>() : nullptr;
}

QLabel* SetupFixture::value(int axis, int param) const
{
    QWidget* widget = cell(grid(), axis + 2, param + 1);
    return widget ? widget->findChild<QLabel*>() : nullptr;
}

QPushButton* SetupFixture::rowButton(int axis) const
{
    return qobject_cast<QPushButton*>(cell(grid(), axis + 2, 5));
}

QPushButton* SetupFixture::selectAll() const
{
    return qobject_cast<QPushButton*>(cell(grid(), 0, 5));
}

QString SetupFixture::ticks(int axes) const
{
    QStringList rows;
    for (int axis = 0; axis < axes; ++axis) {
        QString row;
        for (int param = 0; param < 4; ++param) {
            QCheckBox* checkBox = box(axis, param);
            row += !checkBox               ? QLatin1Char('-')
                   : checkBox->isChecked() ? QLatin1Char('1')
                                           : QLatin1Char('0');
        }
        rows.append(row);
    }
    return rows.join(QLatin1Char(' '));
}

QString SetupFixture::rowCaptions(int axes) const
{
    QStringList captions;
    for (int axis = 0; axis < axes; ++axis) {
        QPushButton* button = rowButton(axis);
        captions.append(button ? button->text() : QStringLiteral("-"));
    }
    return captions.join(QLatin1Char(' '));
}

QVector<double> SetupFixture::sampleValues(int count)
{
    QVector<double> values;
    for (int k = 0; k < count; ++k)
        values.append((k % 2 ? -1 : 1) * (k * 12.3456789 + 0.001 * k * k));
    return values;
}

} // namespace lumora::test
