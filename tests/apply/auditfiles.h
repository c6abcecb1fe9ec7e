#pragma once

#include <QDate>
#include <QStringList>

namespace lumora::test {

// The daily audit and error files below the working directory.
QString auditFilePath(const QDate& day);
QString errorFilePath(const QDate& day);

// The lines of a log file (decoded as UTF-8, without line ends); empty when it is missing.
QStringList logLines(const QString& path);

// A line without its time field: "[tag] planId=p000001 message". A line that does not have the
// audit format comes back marked, so that a comparison shows it.
QString withoutTime(const QString& line);

// withoutTime for every line of one plan id, with elapsed times masked as "耗时=*ms".
QStringList planLines(const QStringList& lines, const QString& planId);

// Removes the logs folder (or a file of that name) of the working directory.
void removeLogs();

} // namespace lumora::test
