#include "isofiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <atomicfile.h>
#include <cellpaths.h>

namespace iso {

QString jobFilePath(const QString& root)
{
    return root + QStringLiteral("/calibInfo.json");
}

QString resultFilePath(const QString& root)
{
    return root + QStringLiteral("/optimized_dh.json");
}

QString measurementFilePath(const QString& root)
{
    return root + QStringLiteral("/iso/data/measurements.json");
}

QString reportFilePath(const QString& root)
{
    return root + QStringLiteral("/iso/report/iso_report.pdf");
}

std::optional<QJsonObject> readJsonObject(const QString& path, QString* error)
{
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxJsonBytes);
    if (!content) {
        if (error)
            *error =
                QStringLiteral("cannot read %1: not a readable file of at most 16 MiB").arg(path);
        return std::nullopt;
    }
    return parseJsonObject(*content, path, error);
}

std::optional<QJsonObject> parseJsonObject(const QByteArray& content, const QString& path,
                                           QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (!document.isObject()) {
        if (error)
            *error =
                parseError.error != QJsonParseError::NoError
                    ? QStringLiteral("%1 is not valid JSON: %2").arg(path, parseError.errorString())
                    : QStringLiteral("%1 does not hold a JSON object").arg(path);
        return std::nullopt;
    }
    return document.object();
}

std::ostream& operator<<(std::ostream& stream, const QString& text)
{
    return stream << text.toStdString();
}

std::optional<QString> parseCommandLine(const QStringList& arguments, const QString& toolFolder,
                                        const std::vector<IntOption>& options, const char* usage,
                                        const char* failure, std::ostream& out, std::ostream& err,
                                        int& exitCode)
{
    exitCode = ExitUsage;
    QString path;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            out << usage;
            exitCode = ExitSuccess;
            return std::nullopt;
        }
        const bool hasValue = i + 1 < arguments.size();
        const IntOption* option = nullptr;
        for (const IntOption& candidate : options) {
            if (argument == QLatin1String(candidate.name))
                option = &candidate;
        }
        if (argument == QLatin1String("--path") && hasValue) {
            path = arguments[++i];
        } else if (option && hasValue) {
            bool ok = false;
            const int value = arguments[++i].toInt(&ok);
            if (!ok || value < option->minimum || value > option->maximum) {
                err << failure << ": " << argument << " needs a whole number from "
                    << option->minimum << " to " << option->maximum << "\n"
                    << usage;
                return std::nullopt;
            }
            *option->value = value;
        } else {
            err << failure << ": unexpected argument " << argument << "\n" << usage;
            return std::nullopt;
        }
    }
    if (path.isEmpty()) {
        err << failure << ": no calibration root given\n" << usage;
        return std::nullopt;
    }
    const QString root = sim::resolveCalibrationRoot(path, toolFolder);
    if (root.isEmpty()) {
        err << failure << ": calibration root " << path << " not found" << std::endl;
        return std::nullopt;
    }
    return root;
}

} // namespace iso
