#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <string>

// A job file as the setup panels leave it: robot profile and "iso_config".
QJsonObject isoJob(const QString& robotName, int sampleTimes,
                   const std::map<std::string, std::array<double, 6>>& poses,
                   const QString& savePath);

QJsonObject readJson(const QString& path);
bool writeJson(const QString& path, const QJsonObject& object);
