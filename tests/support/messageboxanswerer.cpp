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
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || answered.contains(modal))
        return;
    answered.removeAll(nullptr);
    answered.append(modal);
    SeenBox record{modal->metaObject()->className(), modal->windowTitle(), {}, {}, {}};
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        record.text = box->text();
        record.icon = box->icon();
        const bool queued = !buttonAnswers.isEmpty();
        const QString wanted = queued ? buttonAnswers.dequeue() : QString();
        QAbstractButton* choice = box->defaultButton();
        for (QAbstractButton* button : box->buttons()) {
            record.buttons.append(button->text());
            if (queued && button->text() == wanted)
                choice = button;
        }
        choice = choice ? choice : box->buttons().value(0);
        record.pressed = choice ? choice->text() : QString();
        seen.append(record);
        if (choice)
            QMetaObject::invokeMethod(choice, &QAbstractButton::click, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    const bool files = qobject_cast<QFileDialog*>(modal);
    record.pressed = files && !folderAnswers.isEmpty() ? folderAnswers.dequeue() : QString();
    seen.append(record);
    // Accepting with the folder as the current directory returns that folder; selecting it as
    // a file would return its parent.
    const QString folder = record.pressed;
    if (dialog && !folder.isEmpty())
        QMetaObject::invokeMethod(
            dialog,
            [dialog, folder] {
                static_cast<QFileDialog*>(dialog)->setDirectory(folder);
                dialog->accept();
            },
            Qt::QueuedConnection);
    else if (dialog)
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
}

} // namespace lumora::test
