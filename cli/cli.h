#pragma once

#include <QString>

#include <optional>

// The command line without a window: `ombrel COMMAND [options]`. Runs on a
// QCoreApplication, so no command needs a display.
namespace Cli {

// When argv[1] is a word rather than an option, runs that command and returns
// its exit status (an unknown word is a usage error); otherwise nothing: the
// arguments are the window's.
std::optional<int> run(int argc, char *argv[]);

// The commands, one a line, for the window's --help.
QString commandList();

} // namespace Cli
