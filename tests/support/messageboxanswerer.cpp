#include "messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>

namespace lumora::test {

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent)
    : QObject(parent)
    , timer(new QTimer(this))
{
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    timer->start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

void MessageBoxAnswerer::queueButton(const QString& caption)
{
    buttonAnswers.enqueue(caption);
}

void MessageBoxAnswerer::queueFolder(const QString& folder)
{
    folderAnswers.enqueue(folder);
}

void MessageBoxAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || answered.contains(modal))
        return;
    answered.append(modal);
    answered.removeAll(nullptr);

    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        SeenBox record;
        record.className = QStringLiteral("QMessageBox");
        record.title = box->windowTitle();
        record.text = box->text();
        record.icon = box->icon();
        for (QAbstractButton* button : box->buttons())
            record.buttons.append(button->text());
        QAbstractButton* choice = box->defaultButton();
        if (!buttonAnswers.isEmpty()) {
            const QString wanted = buttonAnswers.dequeue();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == wanted)
                    choice = button;
            }
        }
        if (!choice && !box->buttons().isEmpty())
            choice = box->buttons().first();
        record.pressed = choice ? choice->text() : QString();
        seen.append(record);
        if (choice)
            QMetaObject::invokeMethod(choice, &QAbstractButton::click, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        return;
    }

    SeenBox record;
    record.className = QString::fromLatin1(modal->metaObject()->className());
    record.title = modal->windowTitle();
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        const QString folder = folderAnswers.isEmpty() ? QString() : folderAnswers.dequeue();
        record.pressed = folder;
        seen.append(record);
        QMetaObject::invokeMethod(
            dialog,
            [dialog, folder] {
                if (folder.isEmpty()) {
                    dialog->reject();
                    return;
                }
                // Accepting with the folder as the current directory returns that folder;
                // selecting it as a file would return its parent.
                dialog->setDirectory(folder);
                QDialog* asDialog = dialog;
                asDialog->accept();
            },
            Qt::QueuedConnection);
        return;
    }
    seen.append(record);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
}

} // namespace lumora::test
