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

    // Size at which the setup table of a seven-axis robot shows every DH value whole, for the
    // window's font.
    QSize startSize() const;
    // Shows the window at its start size, or maximised where the screen cannot hold that.
    void showAtStartSize();
    // Whether a window of the start size starts maximised on a screen of that available size.
    static bool startsMaximised(const QSize& start, const QSize& available);

signals:
    void connectRequested();
    void disconnectRequested();

private:
    void showLinkState(const QString& text);

    QLabel* linkState;
    QAction* connectAction;
    QAction* disconnectAction;
};
