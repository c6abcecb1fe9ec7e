#pragma once

#include "tavrin_global.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace tavrin {

class ControllerLink;

// The host's service interface to the robot controller. Every call goes to the controller link
// set by the host; without one, queries answer Undefined, false or empty.
class TAVRIN_EXPORT InterfaceManager : public QObject
{
    Q_OBJECT

public:
    explicit InterfaceManager(QObject* parent = nullptr);
    ~InterfaceManager() override;

    QJsonValue getXServiceData(const QString& key);
    QJsonValue execCommandXServiceData(const QString& command, const QVariant& argument);
    bool rcRequestFullCommand(const QString& command, const QJsonValue& params, int timeout);
    QString getRobotIP();
    QString getRobotType();
    int getRobotModelType();

    // Routes the calls to link (not owned; a destroyed link counts as none). The link's
    // connected() and disconnected() are reported as sigNetworkConnect() and
    // sigNetworkDisConnect().
    void setControllerLink(ControllerLink* link);
    ControllerLink* controllerLink() const;

signals:
    void sigNetworkConnect();
    void sigNetworkDisConnect(bool);

private:
    QPointer<ControllerLink> link;
};

// The host's one interface manager.
TAVRIN_EXPORT InterfaceManager& tavrinInterface();

} // namespace tavrin
