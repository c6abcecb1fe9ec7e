#include "isoconfigmerge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

IsoConfigMerge mergeIsoConfig(const QByteArray& jobFile, const IsoConfig& config)
{
    IsoConfigMerge result;
    QJsonObject root;
    if (!jobFile.isEmpty()) {
        const QJsonDocument document = QJsonDocument::fromJson(jobFile);
        if (document.isNull())
            return result;
        root = document.object();
    }

    QJsonObject poses;
    for (int i = 0; i < config.poses.size(); ++i) {
        QJsonArray values;
        for (double value : config.poses.at(i))
            values.append(value);
        poses.insert(QStringLiteral("point%1").arg(i + 1), values);
    }
    QJsonObject isoConfig;
    isoConfig.insert(QStringLiteral("sample_times"), config.sampleTimes);
    isoConfig.insert(QStringLiteral("save_path"), config.savePath);
    isoConfig.insert(QStringLiteral("iso_poses"), poses);
    root.insert(QStringLiteral("iso_config"), isoConfig);

    result.outcome = IsoConfigMerge::Merged;
    result.document = QJsonDocument(root).toJson(QJsonDocument::Indented);
    return result;
}
