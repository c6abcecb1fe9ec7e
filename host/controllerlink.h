#pragma once

#include "tavrin_global.h"

#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QVariant>

namespace tavrin {

// One way of reaching a robot controller: in process, over the network, or scripted in a test.
// The interface manager routes every controller call of a plug-in to the link it is given.
class TAVRIN_EXPORT ControllerLink : public QObject
{
    Q_OBJECT

public:
    explicit ControllerLink(QObject* parent = nullptr);
    ~ControllerLink() override;

    virtual QJsonValue serviceData(const QString& key) = 0;
    virtual QJsonValue execCommand(const QString& command, const QVariant& argument) = 0;
    virtual bool fullCommand(const QString& command, const QJsonValue& params, int timeout) = 0;
    virtual QString robotIP() = 0;
    virtual QString robotType() = 0;
    virtual int robotModelType() = 0;

signals:
    // The controller connection came up; the manager reports it as sigNetworkConnect().
    void connected();
    // The controller connection went down; the manager reports it as sigNetworkDisConnect().
    void disconnected(bool expected);
};

} // namespace tavrin
