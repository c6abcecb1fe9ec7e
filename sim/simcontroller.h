#pragma once

#include <QJsonArray>
#include <QVector>

#include <controllerlink.h>

namespace sim {

// A robot controller simulated in process: a six-axis arm with its DH table, staged writes
// that a reboot applies, and a connection that drops during the reboot and comes back.
class SimController final : public tavrin::ControllerLink
{
    Q_OBJECT

public:
    explicit SimController(QObject* parent = nullptr);

    QJsonValue serviceData(const QString& key) override;
    QJsonValue execCommand(const QString& command, const QVariant& argument) override;
    bool fullCommand(const QString& command, const QJsonValue& params, int timeout) override;
    QString robotIP() override;
    QString robotType() override;
    int robotModelType() override;

    // Brings the connection up after delayMs (announced through connected()).
    void connectToController(int delayMs = 0);
    void disconnectFromController();
    bool isConnected() const { return online; }

    // How long the controller stays away during a reboot.
    void setRebootDelay(int ms) { rebootDelayMs = ms; }

    QVector<double> dhParameters() const { return dh; }
    QVector<double> zeroCompensation() const { return zero; }

private:
    QJsonObject reply(bool success, int code, const QJsonValue& data = QJsonValue()) const;

    bool online = false;
    int rebootDelayMs = 2000;
    QVector<double> dh;
    QVector<double> zero;
    QVector<double> stagedDh;
    QVector<double> stagedZero;
    int connectGeneration = 0;
};

} // namespace sim
