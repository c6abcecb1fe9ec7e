#include "trace.h"

#include <QDateTime>

namespace common {

tavrin::QFLog trace()
{
    return tavrin::QFLog(
        QStringLiteral("\033[35m"),
        QStringLiteral("[S|%1]").arg(
            QDateTime::currentDateTime().toString(QStringLiteral("MM/dd hh:mm:ss.zzz"))),
        QString(), QStringLiteral("./log/tavrin/%1/%1").arg(QStringLiteral("lumoracalibration")),
        QStringLiteral("log"));
}

} // namespace common
