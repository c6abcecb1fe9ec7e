#pragma once

#include "cellstate.h"

#include <QJsonArray>
#include <QVector>

#include <controllerlink.h>

namespace sim {

// A robot controller simulated in process, backed by the cell's state file: it serves the DH
// table and compensation it believes, stages writes that a reboot applies and persists, and
// drops its connection during the reboot. Each connection reloads the state file, so a tool or
// a test that changed the cell is seen at the next power-up.
class SimController final : public tavrin::ControllerLink
{
    Q_OBJECT

public:
    // Uses defaultCellStatePath(): the site folder's "cell/state.json" or LUMORA_CELL_STATE.
    explicit SimController(QObject* parent = nullptr);
    explicit SimController(const QString& statePath, QObject* parent = nullptr);

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

    QVector<double> dhParameters() const;
    QVector<double> zeroCompensation() const;
    const CellState& cellState() const { return state; }
    QString statePath() const { return path; }
    // Why the state file could not be read or written last time; empty when all went well.
    QString lastError() const { return error; }

private:
    QJsonObject reply(bool success, int code, const QJsonValue& data = QJsonValue()) const;
    QJsonObject refusal(const QString& message) const;
    void reloadState();
    void applyStaged();

    QString path;
    QString error;
    CellState state;
    bool online = false;
    int rebootDelayMs = 2000;
    std::vector<double> stagedDh;
    std::vector<double> stagedZero;
    int connectGeneration = 0;
};

} // namespace sim
