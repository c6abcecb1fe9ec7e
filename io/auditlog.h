#pragma once

#include "lumoracalibration_global.h"

#include <QDateTime>
#include <QString>

#include <functional>

// Appends one line to the daily audit file below ./logs (and to the daily error file when the
// line reports a rejection, an exception or a failure), then to the trace log. Control
// characters in the fields are escaped, so a record is always one line. Thread-safe. True when
// the audit file holds the line.
LUMORACALIBRATION_EXPORT bool writeAuditLog(const QString& planId, const QString& tag,
                                            const QString& message);

// Replaces the clock the audit writer reads (null restores the system clock); for tests.
LUMORACALIBRATION_EXPORT void setAuditClock(std::function<QDateTime()> clock);
