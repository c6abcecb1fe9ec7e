// The bytes as the calibration job file, merged with one of a few ISO configurations. A merge
// must succeed exactly for an empty file or a JSON document; what it writes must read back as
// the configuration given beside every other member of the file, and merging it again must
// change nothing.
#include "isoconfigmerge.h"
#include "jsoncheck.h"

#include <QJsonDocument>

#include <cstdint>

namespace {

using lumora::fuzz::check;

const IsoConfig& configFor(std::size_t size)
{
    static const IsoConfig configs[] = {
        {0, QString(), {}},
        {30,
         QStringLiteral("D:/报告/ISO 9283"),
         {{1, 2, 3, 4, 5, 6},
          {-0.0, 1e-308, -1e308, 180, -180, 0.1},
          {0, 0, 0, 0, 0, 0},
          {123.456789, -98.7, 5e-7, 90, 0, -90},
          {1, 1, 1, 1, 1, 1}}},
        {-2147483647 - 1, QStringLiteral("\\\"\n\u0001"), {{}, {7}}},
    };
    return configs[size % (sizeof configs / sizeof configs[0])];
}

void checkConfig(const QJsonValue& written, const IsoConfig& config)
{
    check(written.isObject(), "iso_config is an object");
    const QJsonObject object = written.toObject();
    check(object.size() == 3, "iso_config has three members");
    const QJsonValue sampleTimes = object.value(QStringLiteral("sample_times"));
    check(sampleTimes.isDouble() && sampleTimes.toDouble() == config.sampleTimes,
          "sample_times is the count given");
    check(object.value(QStringLiteral("save_path")) == QJsonValue(config.savePath),
          "save_path is the folder given");
    const QJsonValue poses = object.value(QStringLiteral("iso_poses"));
    check(poses.isObject() && poses.toObject().size() == config.poses.size(),
          "iso_poses has one member per pose");
    for (int i = 0; i < config.poses.size(); ++i) {
        const QJsonValue row = poses[QStringLiteral("point%1").arg(i + 1)];
        check(row.isArray() && row.toArray().size() == config.poses.at(i).size(),
              "a pose has its row's count of values");
        for (int k = 0; k < config.poses.at(i).size(); ++k)
            check(row[k].toDouble() == config.poses.at(i).at(k), "a pose value survives");
    }
}

} // namespace

// Qt 5.15's JSON parser loses a few hundred bytes on some objects with a duplicated member
// (for example {"d":{"L":["1.5",true,6]},"d":{"L":["1.5",true,6]}}); a leak of this code's own
// allocations has no QtCore frame and still shows.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const IsoConfig& config = configFor(size);
    const IsoConfigMerge merged = mergeIsoConfig(content, config);

    const QJsonDocument input = QJsonDocument::fromJson(content);
    const bool readable = content.isEmpty() || !input.isNull();
    check((merged.outcome == IsoConfigMerge::Merged) == readable,
          "merged exactly when the file is empty or JSON");
    if (merged.outcome != IsoConfigMerge::Merged) {
        check(merged.document.isEmpty(), "a failed merge yields nothing to write");
        return 0;
    }

    QJsonParseError error;
    const QJsonDocument output = QJsonDocument::fromJson(merged.document, &error);
    check(error.error == QJsonParseError::NoError && output.isObject(),
          "the merge writes one JSON object");
    QJsonObject written = output.object();
    checkConfig(written.take(QStringLiteral("iso_config")), config);

    if (lumora::fuzz::hasNulName(QJsonValue(input.object())))
        return 0;
    QJsonObject kept = input.object(); // an array or an empty file gives an empty object
    kept.remove(QStringLiteral("iso_config"));
    check(lumora::fuzz::sameJson(QJsonValue(written), QJsonValue(kept)),
          "every other member of the file is kept");

    const IsoConfigMerge again = mergeIsoConfig(merged.document, config);
    check(again.outcome == IsoConfigMerge::Merged &&
              lumora::fuzz::sameJson(QJsonValue(QJsonDocument::fromJson(again.document).object()),
                                     QJsonValue(output.object())),
          "merging the written file again changes nothing");
    return 0;
}
