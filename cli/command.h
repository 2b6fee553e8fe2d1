#pragma once

#include "device/meterport.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Cli {

// Exit status of every command.
enum Exit {
    Ok = 0,
    Failed = 1,        // the job failed once under way
    Usage = 2,         // unknown option, bad value
    NoMeter = 3,       // no meter, or it cannot be opened
    CannotWrite = 4,   // an output file could not be written
    ImageRefused = 5,  // upgrade: the image file was refused
    TimedOut = 6,      // upgrade: the meter's loader stopped answering
};

struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

// The command table; new commands are added in cli.cpp.
const QList<Command> &commands();

// The name the program was started by ("ombrel", "ombrel-sim").
QString programName();
// "ombrel record: <message>" on stderr.
void error(const QString &command, const QString &message);

// Parses a command's arguments (those after its name). Prints the help and
// returns Ok for --help, prints the parser's complaint and returns Usage for
// a bad command line; nothing when the command may go on.
std::optional<int> parse(QCommandLineParser &parser, const char *command, const QString &description,
                         const QStringList &arguments);

// Writes a command's text to standard output. Ok when written, and when
// its reader has gone (`| head`: the command ends quietly); CannotWrite,
// said with the system's reason, when it cannot be written.
int writeOut(const char *command, const QByteArray &text);
// An output's name in a message: "standard output" for "-".
QString outputName(const QString &name);

// The exit status table of --help.
QString exitStatusText();

// Opens the meter (`serial` empty: the first one) for a command; on failure
// says why and how to fix it, and returns NoMeter.
std::optional<int> openForCommand(MeterPort &port, const char *command, const QString &serial);
// The access hint for a meter whose node refused this user.
QString accessHint(const QString &node);

int runList(const QStringList &arguments);
int runRecord(const QStringList &arguments);
int runGet(const QStringList &arguments);
int runSet(const QStringList &arguments);
int runUpgrade(const QStringList &arguments);
int runRuns(const QStringList &arguments);
int runExport(const QStringList &arguments);
int runStats(const QStringList &arguments);
int runMark(const QStringList &arguments);
int runMarks(const QStringList &arguments);
int runReport(const QStringList &arguments);
int runMqttForget(const QStringList &arguments);

} // namespace Cli
