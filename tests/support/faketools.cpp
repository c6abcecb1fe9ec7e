#include "faketools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumora::test {

bool writeTextFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray readTextFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFakeTool(const QString& path, const QString& body)
{
    return writeTextFile(path, "#!/bin/sh\n" + body.toUtf8() + "\n") &&
           QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

QString calibrationToolPath(const QString& root)
{
    return root + QStringLiteral("/kalvo_calib_cli/bin/KalvoCalibrationTool.exe");
}

QString isoTaskPath(const QString& root)
{
    return root + QStringLiteral("/iso/bin/runIsoTask.exe");
}

QString isoReportPath(const QString& root)
{
    return root + QStringLiteral("/iso/scripts/iso_pdf_generate.exe");
}

} // namespace lumora::test
