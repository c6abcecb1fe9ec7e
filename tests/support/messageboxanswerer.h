#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

namespace lumora::test {

// One modal box as the answerer saw it.
struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Watches QApplication::activeModalWidget() and answers every modal box: message boxes by a
// queued button caption (or their default button, else the first), folder dialogs by a queued
// folder (empty: cancel). Records every box in order.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit MessageBoxAnswerer(QObject* parent = nullptr);

    void queueButton(const QString& caption) { buttonAnswers.enqueue(caption); }
    void queueFolder(const QString& folder) { folderAnswers.enqueue(folder); }

    QList<SeenBox> boxes() const { return seen; }
    int count() const { return seen.size(); }
    SeenBox last() const { return seen.isEmpty() ? SeenBox() : seen.last(); }
    void clear() { seen.clear(); }

private:
    void poll();

    QTimer timer;
    QList<SeenBox> seen;
    QQueue<QString> buttonAnswers;
    QQueue<QString> folderAnswers;
    QList<QPointer<QWidget>> answered;
};

} // namespace lumora::test
