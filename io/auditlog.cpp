#include "auditlog.h"

void writeAuditLog(const QString&, const QString&, const QString&) {}

void setAuditClock(std::function<QDateTime()>) {}
