#pragma once

#include <QMainWindow>

class QLabel;
class QAction;

namespace tavrin {
class ControllerLink;
}

// The operator application's window: the plug-in's page, the controller link state in the
// status bar, and actions to connect and disconnect.
class HostWindow final : public QMainWindow
{
    Q_OBJECT

public:
    HostWindow(QWidget* page, tavrin::ControllerLink* link, QWidget* parent = nullptr);

signals:
    void connectRequested();
    void disconnectRequested();

private:
    void showLinkState(const QString& text);

    QLabel* linkState;
    QAction* connectAction;
    QAction* disconnectAction;
};
