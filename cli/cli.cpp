#include "cli/cli.h"

#include "cli/command.h"

#include "base/appname.h"
#include "device/hidglobal.h"
#include "recording/newfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

#include <csignal>
#include <memory>
#include <cstdio>
#include <cstdlib>

namespace Cli {

namespace {
QString g_program = QStringLiteral("ombrel");

} // namespace

const QList<Command> &commands()
{
    static const QList<Command> table = {
        {"list", "list the meters attached and whether they can be opened", runList},
        {"record", "record a run to CSV, JSON lines and/or an MQTT broker", runRecord},
        {"get", "print the meter's settings", runGet},
        {"set", "change the meter's settings", runSet},
        {"upgrade", "upgrade the meter's firmware", runUpgrade},
        {"runs", "list the runs kept in the run journal", runRuns},
        {"export", "write a kept run to CSV and/or JSON lines", runExport},
        {"stats", "the summary of a kept run or of an interval of it", runStats},
        {"mark", "mark a moment of a run with a name (now, in the run being recorded)", runMark},
        {"marks", "list the marks of a kept run", runMarks},
        {"report", "a kept run's report as PDF and/or HTML", runReport},
        {"mqtt-forget", "remove a meter's sensors from Home Assistant (empty MQTT discovery configs)", runMqttForget},
    };
    return table;
}

namespace {
ReportPainter g_reportPainter;
}

void setReportPainter(const ReportPainter &painter)
{
    g_reportPainter = painter;
}

const ReportPainter &reportPainter()
{
    return g_reportPainter;
}

QString programName()
{
    return g_program;
}

QString commandList()
{
    QString text;
    for (const Command &c : commands())
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(c.name), -12).arg(QLatin1String(c.summary));
    return text;
}

int writeOut(const char *command, const QByteArray &text)
{
    OutputFile out(QStringLiteral("-"), OutputFile::Mode::AsItGoes, RegularFile::Accept::Streams);
    QString reason;
    if (out.open(&reason) && out.write(text, &reason) && out.commit(&reason))
        return Ok;
    if (out.readerGone())
        return Ok;
    error(QLatin1String(command), QCoreApplication::translate("Cli", "无法写入标准输出：%1").arg(reason));
    return CannotWrite;
}

QString outputName(const QString &name)
{
    return name == QLatin1String("-") ? QCoreApplication::translate("Cli", "标准输出") : name;
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
        "  4  a file or standard output could not be written (the message names it and the reason; a reader\n"
        "     of standard output or of a pipe that goes away is no failure: 0), or a file an output needs\n"
        "     cannot be read (the MQTT CA or password file)\n"
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
        return writeOut(command, (parser.helpText() + QLatin1Char('\n') + exitStatusText()).toLocal8Bit());
    }
    return std::nullopt;
}

QString accessHint(const QString &node)
{
    return meterOpenWords(MeterOpen::AccessDenied, QString(), node);
}

std::optional<int> openForCommand(MeterPort &port, const char *command, const QString &serial)
{
    QString node;
    const MeterOpen opened = openMeter(port, kMeterVendorId, kMeterProductId, serial, &node);
    if (opened == MeterOpen::Opened)
        return std::nullopt;
    error(QLatin1String(command), meterOpenWords(opened, serial, node));
    return NoMeter;
}

// Qt's own diagnostics ("XDG_RUNTIME_DIR not set", a network reply read
// after its end) are not the command line's words: standard error carries
// only what the commands say. A fatal one still ends the program.
static void quietQt(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

std::optional<int> run(int argc, char *argv[])
{
    if (argc < 2 || argv[1][0] == '-' || argv[1][0] == '\0')
        return std::nullopt;
    qInstallMessageHandler(quietQt);
    g_program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const QString name = QString::fromLocal8Bit(argv[1]);
    // The report paints on an application of its own kind.
    std::unique_ptr<QCoreApplication> app(name == QLatin1String("report") && g_reportPainter.makeApplication
                                              ? g_reportPainter.makeApplication(argc, argv)
                                              : new QCoreApplication(argc, argv));
    // The window's name, whichever build runs: the same data folder, so the
    // same run journal.
    AppName::apply();
    // The window's translation: the texts the commands share with it (the
    // run journal's, the file checks') in the language of the rest.
    QTranslator english;
    if (!AppName::chineseLocale() && english.load(QStringLiteral(":/Language/lib_en.qm")))
        QCoreApplication::installTranslator(&english);
    // A reader of standard output that goes away is a failed write, which
    // each command takes as the end of its output, not death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // A file that reaches its size limit fails its write like a full disk,
    // so what was appended can be put back.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    for (const Command &c : commands()) {
        if (name == QLatin1String(c.name)) {
            HidGlobal::init();
            const int status = c.run(arguments);
            HidGlobal::exit();
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
