#pragma once

#include <QString>

namespace lumora::test {

// Writes an executable shell script at path (folders created), so that a test can stand in
// for an external tool under the exact program name the plug-in starts. body runs under
// /bin/sh; "$@" are the tool's arguments.
bool writeFakeTool(const QString& path, const QString& body);

// Program paths below a calibration root, as the plug-in builds them.
inline QString calibrationToolPath(const QString& root)
{
    return root + "/kalvo_calib_cli/bin/KalvoCalibrationTool.exe";
}
inline QString isoTaskPath(const QString& root)
{
    return root + "/iso/bin/runIsoTask.exe";
}
inline QString isoReportPath(const QString& root)
{
    return root + "/iso/scripts/iso_pdf_generate.exe";
}

// Writes text to a file (folders created); for result files, job files and pose files.
bool writeTextFile(const QString& path, const QByteArray& content);
QByteArray readTextFile(const QString& path);

} // namespace lumora::test
