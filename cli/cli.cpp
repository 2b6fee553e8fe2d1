#include "cli/cli.h"

#include "cli/command.h"

#include "base/appname.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <hidapi.h>

#include <cstdio>

namespace Cli {

namespace {
QString g_program = QStringLiteral("ombrel");
} // namespace

const QList<Command> &commands()
{
    static const QList<Command> table = {
        {"list", "list the meters attached and whether they can be opened", runList},
        {"record", "record a run to CSV and/or JSON lines", runRecord},
        {"get", "print the meter's settings", runGet},
        {"set", "change the meter's settings", runSet},
        {"upgrade", "upgrade the meter's firmware", runUpgrade},
        {"runs", "list the runs kept in the run journal", runRuns},
        {"export", "write a kept run to CSV and/or JSON lines", runExport},
        {"stats", "the summary of a kept run or of an interval of it", runStats},
    };
    return table;
}

QString programName()
{
    return g_program;
}

QString commandList()
{
    QString text;
    for (const Command &c : commands())
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(c.name), -10).arg(QLatin1String(c.summary));
    return text;
}

void error(const QString &command, const QString &message)
{
    std::fprintf(stderr, "%s %s: %s\n", qPrintable(g_program), qPrintable(command), qPrintable(message));
}

QString exitStatusText()
{
    return QStringLiteral(
        "Exit status:\n"
        "  0  success\n"
        "  1  failure during the job (the meter stopped answering, a write to it failed; the run asked for\n"
        "     is not in the run journal, or the journal cannot be opened)\n"
        "  2  usage error (unknown option, bad value, a bad RUN or TIME: the message names it)\n"
        "  3  no meter, or the meter cannot be opened (the message says how to fix access)\n"
        "  4  a file could not be written (the message names it)\n"
        "  5  upgrade: the firmware image was refused (too big, empty, not a regular file, unreadable)\n"
        "  6  upgrade: the meter's loader stopped answering (time-out)\n");
}

std::optional<int> parse(QCommandLineParser &parser, const char *command, const QString &description,
                         const QStringList &arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and the exit status."));
    parser.addOption(help);
    if (!parser.parse(QStringList{g_program} + arguments)) {
        error(QLatin1String(command), parser.errorText());
        return Usage;
    }
    if (parser.isSet(help)) {
        // "Usage: ombrel record [options]"
        QCoreApplication::setApplicationName(g_program + QLatin1Char(' ') + QLatin1String(command));
        std::fputs(qPrintable(parser.helpText() + QLatin1Char('\n') + exitStatusText()), stdout);
        return Ok;
    }
    return std::nullopt;
}

QString accessHint(const QString &node)
{
    return QStringLiteral(
               "cannot open the meter at %1: no read and write permission. Install Ombrel's udev rule (the "
               "package installs it; or copy packaging/70-ombrel-meter.rules to /etc/udev/rules.d/), run "
               "'sudo udevadm control --reload', then unplug the meter and plug it in again.")
        .arg(node);
}

std::optional<int> openForCommand(MeterPort &port, const char *command, const QString &serial)
{
    QString node;
    switch (openMeter(port, 0x0483, 0x5750, serial, &node)) {
    case MeterOpen::Opened:
        return std::nullopt;
    case MeterOpen::NoMeter:
        error(QLatin1String(command), serial.isEmpty()
                                          ? QStringLiteral("no meter is attached")
                                          : QStringLiteral("no meter with serial number %1 is attached").arg(serial));
        break;
    case MeterOpen::AccessDenied:
        error(QLatin1String(command), accessHint(node));
        break;
    case MeterOpen::Failed:
        error(QLatin1String(command), QStringLiteral("cannot open the meter at %1").arg(node));
        break;
    }
    return NoMeter;
}

std::optional<int> run(int argc, char *argv[])
{
    if (argc < 2 || argv[1][0] == '-' || argv[1][0] == '\0')
        return std::nullopt;
    g_program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    QCoreApplication app(argc, argv);
    // The window's name, whichever build runs: the same data folder, so the
    // same run journal.
    AppName::apply();
    const QString name = QString::fromLocal8Bit(argv[1]);
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    for (const Command &c : commands()) {
        if (name == QLatin1String(c.name)) {
            hid_init();
            const int status = c.run(arguments);
            hid_exit();
            return status;
        }
    }
    QStringList names;
    for (const Command &c : commands())
        names << QLatin1String(c.name);
    std::fprintf(stderr, "%s: unknown command '%s' (commands: %s; %s --help for the window)\n", qPrintable(g_program),
                 qPrintable(name), qPrintable(names.join(QStringLiteral(", "))), qPrintable(g_program));
    return int(Usage);
}

} // namespace Cli
