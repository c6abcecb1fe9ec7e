#include "siteconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomicfile.h>
#include <cmath>

namespace calib {

namespace {

constexpr qint64 maxBytes = 1024 * 1024;

std::optional<QJsonDocument> readJson(const QString& path, QString* error)
{
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxBytes);
    if (!content) {
        *error = QStringLiteral("cannot read %1: not a readable file of at most 1 MiB").arg(path);
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*content, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1 is not valid JSON: %2 at offset %3")
                     .arg(path, parseError.errorString())
                     .arg(parseError.offset);
        return std::nullopt;
    }
    return document;
}

bool positive(const QJsonValue& value, double& out, bool zeroAllowed)
{
    if (value.isUndefined())
        return true;
    const double number = value.toDouble(-1.0);
    if (!value.isDouble() || !std::isfinite(number) || number < 0.0 ||
        (number == 0.0 && !zeroAllowed))
        return false;
    out = number;
    return true;
}

} // namespace

std::optional<SiteConfig> readSiteConfig(const QString& root, QString* error)
{
    SiteConfig config;
    const QString path = root + QStringLiteral("/kalvo_calib_cli/config.json");
    if (!QFileInfo::exists(path))
        return config;
    QString why;
    const std::optional<QJsonDocument> document = readJson(path, &why);
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text.startsWith(path) ? text : path + QStringLiteral(": ") + text;
        return std::nullopt;
    };
    if (!document)
        return fail(why);
    if (!document->isObject())
        return fail(QStringLiteral("the top level is not an object"));
    const QJsonObject object = document->object();
    const QStringList known{"measurements", "initial_dh", "base_frame", "flange", "instrument"};
    for (auto it = object.begin(); it != object.end(); ++it) {
        // A misspelt member would quietly measure the simulated cell instead of the file.
        if (!known.contains(it.key()))
            return fail(QStringLiteral("unknown member \"%1\" (known: %2)")
                            .arg(it.key(), known.join(QStringLiteral(", "))));
    }
    const QDir base(root);
    for (const auto& [key, target] : {std::pair{"measurements", &config.measurements},
                                      std::pair{"initial_dh", &config.initialDh}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (!value.isString() || value.toString().isEmpty())
            return fail(QStringLiteral("\"%1\" must name a file").arg(QLatin1String(key)));
        *target = QDir::cleanPath(base.absoluteFilePath(value.toString()));
    }
    for (const auto& [key, target] :
         {std::pair{"base_frame", &config.baseFrame}, std::pair{"flange", &config.flange}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isBool())
            return fail(QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
        *target = value.toBool();
    }
    const QJsonValue instrument = object.value(QStringLiteral("instrument"));
    const QJsonObject sigma = instrument.toObject();
    if ((!instrument.isUndefined() && !instrument.isObject()) ||
        !positive(sigma.value(QStringLiteral("position_sigma_mm")), config.uncertainty.positionMm,
                  false) ||
        !positive(sigma.value(QStringLiteral("position_sigma_mm_per_m")),
                  config.uncertainty.positionMmPerM, true) ||
        !positive(sigma.value(QStringLiteral("orientation_sigma_deg")),
                  config.uncertainty.orientationDeg, false))
        return fail(QStringLiteral("\"instrument\" holds positive numbers \"position_sigma_mm\", "
                                   "\"position_sigma_mm_per_m\" and \"orientation_sigma_deg\""));
    return config;
}

std::optional<InitialModel> readInitialDh(const QString& path, int axisCount, QString* error)
{
    QString why;
    const std::optional<QJsonDocument> document = readJson(path, &why);
    if (!document) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    const QJsonArray numbers = document->array();
    const int dhCount = 4 * (axisCount + 1);
    InitialModel model;
    for (const QJsonValue& value : numbers) {
        if (!value.isDouble() || !std::isfinite(value.toDouble()))
            break;
        (int(model.dh.size()) < dhCount ? model.dh : model.zeroPoints).push_back(value.toDouble());
    }
    const int count = int(model.dh.size() + model.zeroPoints.size());
    if (!document->isArray() || count != numbers.size() ||
        (count != dhCount && count != dhCount + axisCount)) {
        if (error)
            *error = QStringLiteral("%1: for a robot of %2 axes, one array of %3 numbers (four per "
                                    "link), optionally followed by %2 zero points")
                         .arg(path)
                         .arg(axisCount)
                         .arg(dhCount);
        return std::nullopt;
    }
    if (model.zeroPoints.empty())
        model.zeroPoints.assign(std::size_t(axisCount), 0.0);
    return model;
}

} // namespace calib
