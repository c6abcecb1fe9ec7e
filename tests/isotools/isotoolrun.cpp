#include "isotoolrun.h"

#include "faketools.h"

#include <QJsonArray>
#include <QJsonDocument>

ToolRun runIsoProgram(const QString& program, const QStringList& arguments,
                      const QString& workingDir, const QString& statePath)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMORA_CELL_STATE"), statePath);
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(workingDir);
    tool.start(program, arguments);
    ToolRun run;
    if (!tool.waitForFinished(120000)) {
        tool.kill();
        tool.waitForFinished();
        return run;
    }
    run.exitCode = tool.exitCode();
    run.status = tool.exitStatus();
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

QJsonObject isoJob(const QString& robotName, int sampleTimes,
                   const std::map<std::string, std::array<double, 6>>& poses,
                   const QString& savePath)
{
    QJsonObject poseObject;
    for (const auto& [name, values] : poses) {
        QJsonArray numbers;
        for (double value : values)
            numbers.append(value);
        poseObject.insert(QString::fromStdString(name), numbers);
    }
    return {
        {QStringLiteral("file_type"), QStringLiteral("calib_info")},
        {QStringLiteral("robot_profile"),
         QJsonObject{{QStringLiteral("robot_name"), robotName},
                     {QStringLiteral("serial_number"), QStringLiteral("SN-ISO-7")}}},
        {QStringLiteral("iso_config"), QJsonObject{{QStringLiteral("sample_times"), sampleTimes},
                                                   {QStringLiteral("save_path"), savePath},
                                                   {QStringLiteral("iso_poses"), poseObject}}}};
}

QJsonObject readJson(const QString& path)
{
    return QJsonDocument::fromJson(lumora::test::readTextFile(path)).object();
}

bool writeJson(const QString& path, const QJsonObject& object)
{
    return lumora::test::writeTextFile(path, QJsonDocument(object).toJson());
}
