// Ombrel with the real hidapi.
#include "app/startup.h"
#include "cli/cli.h"
#include "report/runreport.h"

int main(int argc, char *argv[])
{
    Cli::setReportPainter({&RunReport::makeApplication, &RunReport::writeRun, &RunReport::writeBench});
    // A command runs without a window; anything else is the window's.
    if (const std::optional<int> status = Cli::run(argc, argv))
        return *status;
    return Startup::run(argc, argv);
}
