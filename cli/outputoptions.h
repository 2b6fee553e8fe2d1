#pragma once

#include "outputs/outputsettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>
#include <utility>
#include <vector>

namespace Cli {

// A command's options of the outputs, as outputFields() states them (the
// window's "Live outputs" dialog shows the same fields).
class OutputOptions
{
public:
    // The options of these outputs; without `switches` those that turn a
    // part of an output on or off are left out.
    OutputOptions(std::initializer_list<OutputKind> outputs, bool switches = true);
    void add(QCommandLineParser &parser) const;
    // The options given, into `settings` (the others left as they are), read
    // and checked as the dialog checks its fields: nothing when the command
    // may go on, else the exit status after saying why (2 for a bad value, 4
    // for a file named in them that cannot be read).
    std::optional<int> read(const QCommandLineParser &parser, const char *command,
                            LiveOutputsSettings *settings) const;

private:
    std::vector<std::pair<const OutputField *, QCommandLineOption>> m_options;
};

} // namespace Cli
