#pragma once

#include "lumoracalibration_global.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// What the ISO setup panel saves into the calibration job file.
struct IsoConfig
{
    int sampleTimes = 0;
    QString savePath;
    QVector<QVector<double>> poses; // one row per point, in order
};

struct IsoConfigMerge
{
    enum Outcome {
        Merged,
        NotJson, // the job file holds bytes that do not parse as a JSON document
    };
    Outcome outcome = NotJson;
    QByteArray document; // indented JSON to write back; empty unless Merged
};

// The job file's contents with "iso_config" set to config and every other top-level member kept.
// An empty file reads as an empty object, and so does a document whose top level is an array.
LUMORACALIBRATION_EXPORT IsoConfigMerge mergeIsoConfig(const QByteArray& jobFile,
                                                       const IsoConfig& config);
