// The bytes as the calibration job file, merged with an ISO configuration: the merge succeeds
// exactly for an empty file or a JSON document, and writes one object that holds the
// configuration given.
#include "fuzzinput.h"
#include "isoconfigmerge.h"

#include <QJsonDocument>
#include <QJsonObject>

using lumora::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const IsoConfig config{30, QStringLiteral("D:/报告/\"\n"), {{1, 2, 3, 4, 5, 6}, {-0.0}}};
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const IsoConfigMerge merged = mergeIsoConfig(content, config);
    const bool readable = content.isEmpty() || !QJsonDocument::fromJson(content).isNull();
    check((merged.outcome == IsoConfigMerge::Merged) == readable,
          "merged exactly when the file is empty or JSON");
    if (!readable)
        return 0;
    const QJsonDocument written = QJsonDocument::fromJson(merged.document);
    const QJsonObject iso = written.object().value(QStringLiteral("iso_config")).toObject();
    check(written.isObject() && iso.value(QStringLiteral("sample_times")).toInt() == 30 &&
              iso.value(QStringLiteral("save_path")).toString() == config.savePath &&
              iso.value(QStringLiteral("iso_poses")).toObject().size() == 2,
          "the written file holds the configuration given");
    return 0;
}
