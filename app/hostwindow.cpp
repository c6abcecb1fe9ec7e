#include "hostwindow.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

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
    resize(1280, 800);

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
