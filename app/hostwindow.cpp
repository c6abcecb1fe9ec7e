#include "hostwindow.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <controllerlink.h>
#include <interfacemanager.h>

HostWindow::HostWindow(tavrin::ControllerLink* link, QWidget* parent)
    : QMainWindow(parent)
    , linkState(new QLabel(this))
    , connectAction(new QAction(tr("Connect"), this))
    , disconnectAction(new QAction(tr("Disconnect"), this))
{
    setWindowTitle(tr("Tavrin operator"));
    setObjectName(QStringLiteral("hostWindow"));
    resize(startSize());

    QMenu* controller = menuBar()->addMenu(tr("&Controller"));
    controller->addAction(connectAction);
    controller->addAction(disconnectAction);
    QToolBar* toolBar = addToolBar(tr("Controller"));
    toolBar->setObjectName(QStringLiteral("controllerToolBar"));
    toolBar->addAction(connectAction);
    toolBar->addAction(disconnectAction);
    connect(connectAction, &QAction::triggered, this, &HostWindow::connectRequested);
    connect(disconnectAction, &QAction::triggered, this, &HostWindow::disconnectRequested);

    linkState->setObjectName(QStringLiteral("linkState"));
    statusBar()->addPermanentWidget(linkState);
    showLinkState(tr("Controller: connecting..."));
    connectAction->setEnabled(false);

    auto& manager = tavrin::tavrinInterface();
    connect(&manager, &tavrin::InterfaceManager::sigNetworkConnect, this, [this, link] {
        showLinkState(
            tr("Controller: connected, %1 at %2").arg(link->robotType(), link->robotIP()));
        connectAction->setEnabled(false);
        disconnectAction->setEnabled(true);
    });
    connect(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect, this, [this](bool) {
        showLinkState(tr("Controller: disconnected"));
        connectAction->setEnabled(true);
        disconnectAction->setEnabled(false);
    });
}

void HostWindow::setPage(QWidget* page)
{
    if (page)
        setCentralWidget(page);
}

void HostWindow::showLinkState(const QString& text)
{
    linkState->setText(text);
}

QSize HostWindow::startSize() const
{
    // The page gives the setup table half its width, in six even columns, so each pixel of a
    // value label costs twelve of the window. Six significant digits are widest just above and
    // just below 1e-4 (a nominal 0 after calibration). The rest is the page's fixed margins and
    // the result panel's least width.
    const QFontMetrics metrics = fontMetrics();
    const int value = std::max(metrics.horizontalAdvance(QStringLiteral("-0.000888888")),
                               metrics.horizontalAdvance(QStringLiteral("-8.88888e-05")));
    return QSize(12 * value + 700, 40 * metrics.height() + 120);
}

void HostWindow::showAtStartSize()
{
    const QScreen* screen = this->screen();
    if (screen && startsMaximised(size(), screen->availableGeometry().size()))
        showMaximized();
    else
        show();
}

bool HostWindow::startsMaximised(const QSize& start, const QSize& available)
{
    return start.width() > available.width() || start.height() > available.height();
}
