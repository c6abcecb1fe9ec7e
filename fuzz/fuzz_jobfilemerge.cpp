// The bytes as the calibration job file, merged with an ISO configuration: the merge succeeds
// exactly for an empty file or a JSON document, and writes one object that holds the
// configuration given.
#include "fuzzinput.h"
#include "isoconfigmerge.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const IsoConfig config{30, QStringLiteral("D:/报告/\"\n"), {{1, 2, 3, 4, 5, 6}, {-0.0}}};
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const IsoConfigMerge merged = mergeIsoConfig(content, config);
    const bool readable = content.isEmpty() || !QJsonDocument::fromJson(content).isNull();
    if ((merged.outcome == IsoConfigMerge::Merged) != readable)
        __builtin_trap();
    const QJsonObject iso =
        QJsonDocument::fromJson(merged.document).object()[QStringLiteral("iso_config")].toObject();
    if (readable && !(iso[QStringLiteral("sample_times")] == 30 &&
                      iso[QStringLiteral("save_path")] == config.savePath &&
                      iso[QStringLiteral("iso_poses")].toObject().size() == 2))
        __builtin_trap();
    return 0;
}
