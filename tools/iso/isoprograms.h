#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <ostream>

namespace iso {

// Each program's command line is "--path <root>"; toolFolder anchors a relative root. They
// return an ExitCode and explain every failure on err.

// Computes the figures from the measurement file, sets "iso_results" in the result file and
// writes the PDF report.
int reportGeneratorMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err);

// Copies the report and the measurement file into the configured report folder.
int copyResultsMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                    std::ostream& err);

// Removes the report, the measurement file and "iso_results".
int deleteResultsMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                      std::ostream& err);

// File names of a copied report and its data: robot serial number and test time, so that a
// report folder keeps every test.
QString savedFileStem(const QString& serialNumber, const QDateTime& date);

} // namespace iso
