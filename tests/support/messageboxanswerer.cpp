#include "messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

namespace lumora::test {

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    timer.start(5);
}

void MessageBoxAnswerer::poll()
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || answered.contains(dialog))
        return;
    answered.removeAll(nullptr);
    answered.append(dialog);
    SeenBox record{dialog->windowTitle(), {}};
    QAbstractButton* choice = nullptr;
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        record.text = box->text();
        record.icon = box->icon();
        const QString wanted = buttonAnswers.isEmpty() ? QString() : buttonAnswers.dequeue();
        choice = box->defaultButton() ? box->defaultButton() : box->buttons().value(0);
        for (QAbstractButton* button : box->buttons())
            choice = button->text() == wanted ? button : choice;
    }
    seen.append(record);
    const QString folder = qobject_cast<QFileDialog*>(dialog) && !folderAnswers.isEmpty()
                               ? folderAnswers.dequeue()
                               : QString();
    // Accepting with the folder as the current directory returns that folder; selecting it as
    // a file would return its parent.
    if (choice)
        QMetaObject::invokeMethod(choice, &QAbstractButton::click, Qt::QueuedConnection);
    else if (!folder.isEmpty())
        QMetaObject::invokeMethod(
            dialog,
            [dialog, folder] {
                static_cast<QFileDialog*>(dialog)->setDirectory(folder);
                dialog->accept();
            },
            Qt::QueuedConnection);
    else
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
}

} // namespace lumora::test
