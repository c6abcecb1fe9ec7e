#include "interfacemanager.h"

#include "controllerlink.h"

namespace tavrin {

InterfaceManager::InterfaceManager(QObject* parent)
    : QObject(parent)
{}

InterfaceManager::~InterfaceManager() = default;

QJsonValue InterfaceManager::getXServiceData(const QString& key)
{
    return link ? link->serviceData(key) : QJsonValue(QJsonValue::Undefined);
}

QJsonValue InterfaceManager::execCommandXServiceData(const QString& command,
                                                     const QVariant& argument)
{
    return link ? link->execCommand(command, argument) : QJsonValue(QJsonValue::Undefined);
}

bool InterfaceManager::rcRequestFullCommand(const QString& command, const QJsonValue& params,
                                            int timeout)
{
    return link ? link->fullCommand(command, params, timeout) : false;
}

QString InterfaceManager::getRobotIP()
{
    return link ? link->robotIP() : QString();
}

QString InterfaceManager::getRobotType()
{
    return link ? link->robotType() : QString();
}

int InterfaceManager::getRobotModelType()
{
    return link ? link->robotModelType() : 0;
}

void InterfaceManager::setControllerLink(ControllerLink* newLink)
{
    if (link)
        disconnect(link, nullptr, this, nullptr);
    link = newLink;
    if (!link)
        return;
    connect(link, &ControllerLink::connected, this, &InterfaceManager::sigNetworkConnect);
    connect(link, &ControllerLink::disconnected, this, &InterfaceManager::sigNetworkDisConnect);
}

ControllerLink* InterfaceManager::controllerLink() const
{
    return link;
}

InterfaceManager& tavrinInterface()
{
    static InterfaceManager manager;
    return manager;
}

} // namespace tavrin
