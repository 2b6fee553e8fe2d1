#pragma once

#include <QString>

#include <optional>

class QCoreApplication;
class RunJournal;

// The command line without a window: `ombrel COMMAND [options]`. Runs on a
// QCoreApplication, so no command needs a display.
namespace Cli {

// When argv[1] is a word rather than an option, runs that command and returns
// its exit status (an unknown word is a usage error); otherwise nothing: the
// arguments are the window's.
std::optional<int> run(int argc, char *argv[]);

// `report` paints its pages, which the command line cannot do on its own:
// the program's main() hands it the application to run on and the writer.
struct ReportPainter {
    QCoreApplication *(*makeApplication)(int &argc, char **argv) = nullptr;
    bool (*writeRun)(RunJournal &journal, qint64 id, const QString &path, bool html, QString *error) = nullptr;
    bool (*writeBench)(RunJournal &journal, qint64 benchId, const QString &path, bool html, QString *error) = nullptr;
};
void setReportPainter(const ReportPainter &painter);
const ReportPainter &reportPainter();

// The commands, one a line, for the window's --help.
QString commandList();

} // namespace Cli
