#include "runlog.h"

#include "calibrationwidget.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

RunLog::RunLog(calibrationWidget* runner, QObject* parent)
    : QObject(parent)
{
    auto flag = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    connect(runner, &calibrationWidget::isAllOptionsSelect, this,
            [this](bool&) { entries << QStringLiteral("isAllOptionsSelect"); });
    connect(runner, &calibrationWidget::isSNEmpty, this,
            [this] { entries << QStringLiteral("isSNEmpty"); });
    connect(runner, &calibrationWidget::writeIntoJson, this,
            [this] { entries << QStringLiteral("writeIntoJson"); });
    connect(runner, &calibrationWidget::changeBtnsStatus, this, [this, flag](bool enable) {
        entries << QStringLiteral("changeBtnsStatus(%1)").arg(flag(enable));
    });
    connect(runner, &calibrationWidget::calibrationDoneVec, this, [this, flag](bool isReset) {
        entries << QStringLiteral("calibrationDoneVec(%1)").arg(flag(isReset));
    });
    connect(runner, &calibrationWidget::calibrationDoneStr, this,
            [this](const QString& pos, const QString& att) {
                entries << QStringLiteral("calibrationDoneStr(%1,%2)").arg(pos, att);
            });
    qApp->installEventFilter(this);
}

RunLog::~RunLog()
{
    qApp->removeEventFilter(this);
}

bool RunLog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            entries << QStringLiteral("box ") + box->windowTitle();
            if (onBox)
                onBox();
        }
    }
    return QObject::eventFilter(watched, event);
}
