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
    explicit HostWindow(tavrin::ControllerLink* link, QWidget* parent = nullptr);

    // Shows the page a plug-in handed over; the window owns it from then on.
    void setPage(QWidget* page);

signals:
    void connectRequested();
    void disconnectRequested();

private:
    void showLinkState(const QString& text);

    QLabel* linkState;
    QAction* connectAction;
    QAction* disconnectAction;
};
