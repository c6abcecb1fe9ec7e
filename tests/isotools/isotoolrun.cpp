#include "isotoolrun.h"

#include "faketools.h"

#include <QJsonArray>
#include <QJsonDocument>

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
