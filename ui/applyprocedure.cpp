#include "applyprocedure.h"

bool runApplyProcedure(QWidget*)
{
    return false;
}

QString jsonValueToText(const QJsonValue&)
{
    return QString();
}
