#include "auditfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace lumora::test {

QString auditFilePath(const QDate& day)
{
    return QDir::currentPath() + QStringLiteral("/logs/audit-dev-") +
           day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

QString errorFilePath(const QDate& day)
{
    return QDir::currentPath() + QStringLiteral("/logs/error-") +
           day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

QStringList logLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString withoutTime(const QString& line)
{
    static const QRegularExpression format(QStringLiteral(
        R"(^(\[[^\]]*\] planId=p\d{6}) 时间=\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d (.*)$)"));
    const QRegularExpressionMatch match = format.match(line);
    if (!match.hasMatch())
        return QStringLiteral("<not an audit line> ") + line;
    return match.captured(1) + QLatin1Char(' ') + match.captured(2);
}

QStringList planLines(const QStringList& lines, const QString& planId)
{
    static const QRegularExpression elapsed(QStringLiteral("耗时=\\d+ms"));
    const QString marker = QStringLiteral(" planId=") + planId + QLatin1Char(' ');
    QStringList out;
    for (const QString& line : lines) {
        if (line.contains(marker))
            out.append(withoutTime(line).replace(elapsed, QStringLiteral("耗时=*ms")));
    }
    return out;
}

void removeLogs()
{
    const QString path = QDir::currentPath() + QStringLiteral("/logs");
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

} // namespace lumora::test
