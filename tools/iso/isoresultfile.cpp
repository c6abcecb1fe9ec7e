#include "isoresultfile.h"

#include "isofiles.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomicfile.h>

namespace iso {

namespace {

const QString member = QStringLiteral("iso_results");

// The result file's members; an empty or missing file has none.
std::optional<QJsonObject> readResultFile(const QString& path, QString* error)
{
    if (!QFileInfo::exists(path))
        return QJsonObject();
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxJsonBytes);
    if (content && content->trimmed().isEmpty())
        return QJsonObject();
    if (!content && error)
        *error = QStringLiteral("cannot read %1: not a readable file of at most 16 MiB").arg(path);
    const std::optional<QJsonObject> object =
        content ? parseJsonObject(*content, path, error) : std::nullopt;
    if (!object && error)
        *error += QStringLiteral("; the result file was left as it is");
    return object;
}

bool writeResultFile(const QString& path, const QJsonObject& root, QString* error)
{
    return sim::writeFileAtomically(path, QJsonDocument(root).toJson(QJsonDocument::Indented),
                                    error);
}

} // namespace

bool writeIsoResults(const QString& path, const std::vector<NamedFigures>& results, QString* error)
{
    std::optional<QJsonObject> root = readResultFile(path, error);
    if (!root)
        return false;
    QJsonArray array;
    for (const NamedFigures& result : results) {
        const PointFigures& f = result.figures;
        array.append(QJsonObject{{QStringLiteral("name"), result.name},
                                 {QStringLiteral("Accuracy"), f.accuracy},
                                 {QStringLiteral("Repeatability"), f.repeatability},
                                 {QStringLiteral("RMS"), f.rms},
                                 {QStringLiteral("StdDev"), f.stdDev},
                                 {QStringLiteral("AP_a"), f.attitudeAccuracy.x()},
                                 {QStringLiteral("AP_b"), f.attitudeAccuracy.y()},
                                 {QStringLiteral("AP_c"), f.attitudeAccuracy.z()},
                                 {QStringLiteral("RP_a"), f.attitudeRepeatability.x()},
                                 {QStringLiteral("RP_b"), f.attitudeRepeatability.y()},
                                 {QStringLiteral("RP_c"), f.attitudeRepeatability.z()}});
    }
    root->insert(member, array);
    return writeResultFile(path, *root, error);
}

bool removeIsoResults(const QString& path, QString* error)
{
    std::optional<QJsonObject> root = readResultFile(path, error);
    if (!root)
        return false;
    if (!root->contains(member))
        return true;
    root->remove(member);
    return writeResultFile(path, *root, error);
}

} // namespace iso
