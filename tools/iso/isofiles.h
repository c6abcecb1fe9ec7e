#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <ostream>
#include <vector>

namespace iso {

// Exit codes shared by the four ISO programs.
enum ExitCode {
    ExitSuccess = 0,
    ExitUsage = 1,
    ExitJobFile = 2,
    ExitCell = 3,
    ExitData = 4,
    ExitWrite = 5,
};

// Where the programs keep their files below the calibration root.
QString jobFilePath(const QString& root);
QString resultFilePath(const QString& root);
QString measurementFilePath(const QString& root);
QString reportFilePath(const QString& root);

// Reads a file that must hold one JSON object (a regular file of at most maxJsonBytes).
constexpr qint64 maxJsonBytes = 16 * 1024 * 1024;
std::optional<QJsonObject> readJsonObject(const QString& path, QString* error);
// The same for content already read from path.
std::optional<QJsonObject> parseJsonObject(const QByteArray& content, const QString& path,
                                           QString* error);

std::ostream& operator<<(std::ostream& stream, const QString& text);

// An integer option a program accepts besides "--path", with its range.
struct IntOption
{
    const char* name;
    int* value;
    int minimum;
    int maximum;
};

// Parses "--path <root>" and the given options and resolves the root as the calibration tool
// does (toolFolder anchors a relative root). Returns the absolute root, or nothing with
// exitCode set: ExitSuccess after "--help", ExitUsage after a message on err.
std::optional<QString> parseCommandLine(const QStringList& arguments, const QString& toolFolder,
                                        const std::vector<IntOption>& options, const char* usage,
                                        const char* failure, std::ostream& out, std::ostream& err,
                                        int& exitCode);

} // namespace iso
