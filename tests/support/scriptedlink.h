#pragma once

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QVariant>

#include <controllerlink.h>

namespace lumora::test {

// One call the plug-in made on the controller link.
struct LinkCall
{
    QString kind; // "serviceData", "execCommand", "fullCommand"
    QString name; // key or command
    QVariant argument;
    QJsonValue params;
    int number = 0;
};

// A controller link whose answers a test scripts: per key or command a standing answer;
// unscripted calls answer Undefined (or false). Records every call.
class ScriptedLink : public tavrin::ControllerLink
{
    Q_OBJECT

public:
    explicit ScriptedLink(QObject* parent = nullptr)
        : ControllerLink(parent)
    {}

    void setServiceData(const QString& key, const QJsonValue& a) { serviceAnswers[key] = a; }
    void setCommandReply(const QString& c, const QJsonValue& a) { commandAnswers[c] = a; }
    void setFullCommandResult(const QString& command, bool a) { fullCommandResults[command] = a; }
    void setIdentity(const QString& newIp, const QString& newType, int newModel)
    {
        ip = newIp, type = newType, model = newModel;
    }
    // Convenience: a controller holding values (flat, four per link) for both DH queries.
    void setDhLinks(const QVector<double>& values);

    QList<LinkCall> calls;
    // Announces the connection to the host (as the host would on controller connect).
    void announceConnected() { emit connected(); }

    QJsonValue serviceData(const QString& key) override;
    QJsonValue execCommand(const QString& command, const QVariant& argument) override;
    bool fullCommand(const QString& command, const QJsonValue& params, int timeout) override;
    QString robotIP() override { return ip; }
    QString robotType() override { return type; }
    int robotModelType() override { return model; }

private:
    QHash<QString, QJsonValue> serviceAnswers;
    QHash<QString, QJsonValue> commandAnswers;
    QHash<QString, bool> fullCommandResults;
    QString ip;
    QString type;
    int model = 0;
};

} // namespace lumora::test
