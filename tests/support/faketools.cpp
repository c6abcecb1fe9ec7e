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

} // namespace lumora::test
