#include "isoprograms.h"

#include "isoconfig.h"
#include "isodata.h"
#include "isofiles.h"
#include "isoreport.h"
#include "isoresultfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomicfile.h>

namespace iso {

namespace {

std::optional<MeasurementRecord> readMeasurements(const QString& root, QString* error)
{
    const QString path = measurementFilePath(root);
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxJsonBytes);
    if (!content) {
        *error = QStringLiteral("no measurements at %1: run the ISO test first").arg(path);
        return std::nullopt;
    }
    std::optional<MeasurementRecord> record = measurementsFromJson(*content, error);
    if (!record)
        *error = QStringLiteral("measurement file %1: %2").arg(path, *error);
    return record;
}

std::optional<QString> commandLineRoot(const QStringList& arguments, const QString& toolFolder,
                                       const char* program, const char* failure, std::ostream& out,
                                       std::ostream& err, int& exitCode)
{
    const std::string usage = std::string("usage: ") + program +
                              " --path <calibration root>\n"
                              "exit codes: 0 success, 1 usage, 2 job file, 4 missing or invalid "
                              "data, 5 writing\n";
    return parseCommandLine(arguments, toolFolder, {}, usage.c_str(), failure, out, err, exitCode);
}

bool copyFile(const QString& from, const QString& to, QString* error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
        return false;
    }
    return sim::writeFileAtomically(to, source.readAll(), error);
}

bool removeIfPresent(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isFile() && QFile::remove(path))
        return true;
    *error = QStringLiteral("cannot remove %1").arg(path);
    return false;
}

} // namespace

QString savedFileStem(const QString& serialNumber, const QDateTime& date)
{
    QString serial = serialNumber;
    serial.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    if (serial.isEmpty() || serial.startsWith(QLatin1Char('.')))
        serial.prepend(QStringLiteral("robot"));
    const QString stamp = date.isValid() ? date.toString(QStringLiteral("yyyyMMdd_HHmmss"))
                                         : QStringLiteral("undated");
    return serial + QLatin1Char('_') + stamp;
}

int reportGeneratorMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err)
{
    constexpr char failure[] = "report generation failed";
    int exitCode = ExitUsage;
    const std::optional<QString> root =
        commandLineRoot(arguments, toolFolder, "iso_pdf_generate.exe", failure, out, err, exitCode);
    if (!root)
        return exitCode;
    QString error;
    const std::optional<MeasurementRecord> record = readMeasurements(*root, &error);
    if (!record) {
        err << failure << ": " << error << std::endl;
        return ExitData;
    }
    std::vector<PointFigures> figures;
    std::vector<NamedFigures> results;
    for (const PointMeasurements& point : record->points) {
        figures.push_back(computeFigures(point.commanded, point.attained, point.commandedAttitude,
                                         point.attainedAttitude));
        results.push_back({point.name, figures.back()});
    }
    const QByteArray pdf = pdfReport(*record, figures);
    if (pdf.isEmpty()) {
        err << failure << ": the PDF writer produced nothing" << std::endl;
        return ExitWrite;
    }
    const QString reportPath = reportFilePath(*root);
    if (!writeIsoResults(resultFilePath(*root), results, &error) ||
        !sim::writeFileAtomically(reportPath, pdf, &error)) {
        err << failure << ": " << error << std::endl;
        return ExitWrite;
    }
    for (const NamedFigures& result : results) {
        out << result.name << ": AP " << QString::number(result.figures.accuracy, 'f', 4)
            << " mm, RP " << QString::number(result.figures.repeatability, 'f', 4) << " mm"
            << std::endl;
    }
    out << "report written to " << reportPath << std::endl;
    return ExitSuccess;
}

int copyResultsMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                    std::ostream& err)
{
    constexpr char failure[] = "saving the report failed";
    int exitCode = ExitUsage;
    const std::optional<QString> root = commandLineRoot(
        arguments, toolFolder, "copy_calib_iso_results.exe", failure, out, err, exitCode);
    if (!root)
        return exitCode;
    QString error;
    const std::optional<QString> savePath = readSavePath(jobFilePath(*root), &error);
    if (!savePath) {
        err << failure << ": " << error << std::endl;
        return ExitJobFile;
    }
    const std::optional<MeasurementRecord> record = readMeasurements(*root, &error);
    const QString reportPath = reportFilePath(*root);
    if (record && !QFileInfo(reportPath).isFile())
        error = QStringLiteral("no report at %1: generate the report first").arg(reportPath);
    if (!record || !QFileInfo(reportPath).isFile()) {
        err << failure << ": " << error << std::endl;
        return ExitData;
    }
    // A relative folder is taken from the working directory, the host's site folder.
    const QDir folder(QDir::current().absoluteFilePath(*savePath));
    if (!QDir().mkpath(folder.absolutePath()) || !QFileInfo(folder.absolutePath()).isDir()) {
        err << failure << ": cannot create the report folder " << folder.absolutePath()
            << std::endl;
        return ExitWrite;
    }
    const QString stem = savedFileStem(record->serialNumber, record->date);
    const QString savedReport = folder.filePath(QStringLiteral("iso_report_%1.pdf").arg(stem));
    const QString savedData = folder.filePath(QStringLiteral("iso_measurements_%1.json").arg(stem));
    if (!copyFile(reportPath, savedReport, &error) ||
        !copyFile(measurementFilePath(*root), savedData, &error)) {
        err << failure << ": " << error << std::endl;
        return ExitWrite;
    }
    out << "saved " << savedReport << "\nsaved " << savedData << std::endl;
    return ExitSuccess;
}

int deleteResultsMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                      std::ostream& err)
{
    constexpr char failure[] = "removing the ISO results failed";
    int exitCode = ExitUsage;
    const std::optional<QString> root = commandLineRoot(
        arguments, toolFolder, "delet_calib_iso_results.exe", failure, out, err, exitCode);
    if (!root)
        return exitCode;
    QString error;
    if (!removeIfPresent(reportFilePath(*root), &error) ||
        !removeIfPresent(measurementFilePath(*root), &error) ||
        !removeIsoResults(resultFilePath(*root), &error)) {
        err << failure << ": " << error << std::endl;
        return ExitWrite;
    }
    out << "ISO report, measurements and results removed" << std::endl;
    return ExitSuccess;
}

} // namespace iso
