// ombrel record: a run recorded without a window, to CSV and/or JSON lines.
#include "cli/command.h"
#include "cli/outputoptions.h"
#include "cli/recordoutputs.h"

#include "base/quitsignals.h"
#include "base/timetext.h"
#include "device/productinfo.h"
#include "outputs/mqttsink.h"
#include "recording/liverun.h"
#include "recording/newfile.h"
#include "recording/runjournal.h"
#include "recording/runrecorder.h"
#include "recording/runsession.h"
#include "recording/runsinks.h"
#include "recording/stopconditions.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace Cli {

namespace {

const char kCommand[] = "record";

// Options that end the run, each a condition of the run's stop conditions.
// A new one is a row here.
struct StopOption {
    const char *name;
    const char *valueName;
    const char *help;
    StopConditions::Kind kind;
};

const QList<StopOption> &stopOptions()
{
    static const QList<StopOption> options = {
        {"until-duration", "seconds", "End the run after this many seconds.", StopConditions::Duration},
        {"until-current-below", "A:seconds",
         "End the run when the bus current has stayed below A amperes for this many seconds (a charge is "
         "complete).",
         StopConditions::CurrentBelow},
        {"until-voltage-below", "V", "End the run when the bus voltage falls below V volts (a discharge cut-off).",
         StopConditions::VoltageBelow},
        {"until-charge", "Ah", "End the run when its charge reaches this many ampere-hours.", StopConditions::Charge},
        {"until-energy", "Wh", "End the run when its energy reaches this many watt-hours.", StopConditions::Energy},
    };
    return options;
}

// The command line of a run, read and checked.
struct Request {
    QString name;
    RunFields fields;
    StopConditions conditions;
    RunRecorder::Options meter;
    LiveOutputsSettings outputs;
};

std::optional<int> readRequest(const QStringList &arguments, Request &r)
{
    QCommandLineParser parser;
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Record the meter with this serial number."),
                                          QStringLiteral("serial"));
    const QCommandLineOption allOption(QStringLiteral("all-reports"),
                                       QStringLiteral("A record for every measurement the meter sends, each with "
                                                      "its own time, instead of one a second."));
    const QCommandLineOption unplugOption(QStringLiteral("exit-on-unplug"),
                                          QStringLiteral("End the run (exit status 0) when the meter is pulled out, "
                                                         "instead of waiting for it to come back."));
    parser.addOptions({serialOption, allOption, unplugOption});
    // What the run is about, kept with it in the run journal.
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The run's name."), QStringLiteral("text"));
    const QCommandLineOption noteOption(QStringLiteral("note"), QStringLiteral("The run's notes."), QStringLiteral("text"));
    const QCommandLineOption dutOption(QStringLiteral("device"), QStringLiteral("The device under test."),
                                       QStringLiteral("text"));
    const QCommandLineOption sourceOption(QStringLiteral("source"), QStringLiteral("The charger or source."),
                                          QStringLiteral("text"));
    const QCommandLineOption cableOption(QStringLiteral("cable"), QStringLiteral("The cable."), QStringLiteral("text"));
    const QCommandLineOption ambientOption(QStringLiteral("ambient"),
                                           QStringLiteral("The ambient temperature in degrees Celsius."),
                                           QStringLiteral("celsius"));
    parser.addOptions({nameOption, noteOption, dutOption, sourceOption, cableOption, ambientOption});
    const OutputOptions outputOptions({OutputKind::Csv, OutputKind::JsonLines, OutputKind::InfluxFile,
                                       OutputKind::InfluxHttp, OutputKind::Mqtt, OutputKind::Metrics});
    outputOptions.add(parser);
    QList<QCommandLineOption> stops;
    for (const StopOption &s : stopOptions()) {
        stops << QCommandLineOption(QLatin1String(s.name), QLatin1String(s.help), QLatin1String(s.valueName));
        parser.addOption(stops.last());
    }
    if (const std::optional<int> done =
            parse(parser, kCommand,
                  QStringLiteral("Records the meter as the window's run does: one record a second from the "
                                 "latest reading, into the run journal and the files given (none: the journal "
                                 "alone). On a terminal a status line on standard error shows the run; Ctrl+C "
                                 "(SIGINT) or SIGTERM ends it with every file complete, and a line on standard "
                                 "error says how it ended: the reason, duration, records, Ah and Wh. With --mqtt each record is "
                                 "published to the broker too (PREFIX/state), with the run's events (PREFIX/run), "
                                 "its availability (PREFIX/availability) and Home Assistant discovery configs."),
                  arguments))
        return *done;
    if (!parser.positionalArguments().isEmpty()) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "多余的参数“%1”").arg(parser.positionalArguments().first()));
        return Usage;
    }
    for (int i = 0; i < stops.size(); ++i) {
        if (!parser.isSet(stops[i]))
            continue;
        const StopOption &option = stopOptions()[i];
        QString reason;
        const QString value = parser.value(stops[i]);
        if (!StopConditions::parse(option.kind, value, &r.conditions[option.kind], &reason)) {
            error(QLatin1String(kCommand),
                  QStringLiteral("bad value '%1' for --%2: %3").arg(value, QLatin1String(option.name), reason));
            return Usage;
        }
    }
    r.name = parser.value(nameOption);
    r.fields.notes = parser.value(noteOption);
    r.fields.dut = parser.value(dutOption);
    r.fields.source = parser.value(sourceOption);
    r.fields.cable = parser.value(cableOption);
    if (parser.isSet(ambientOption) && !r.fields.setAmbient(parser.value(ambientOption))) {
        error(QLatin1String(kCommand), QStringLiteral("bad value '%1' for --ambient: a temperature in degrees "
                                                      "Celsius such as 25 or -5.5")
                                           .arg(parser.value(ambientOption)));
        return Usage;
    }
    if (const std::optional<int> bad = outputOptions.read(parser, kCommand, &r.outputs))
        return *bad;
    r.meter.serial = parser.value(serialOption);
    r.meter.allReports = parser.isSet(allOption);
    r.meter.exitOnUnplug = parser.isSet(unplugOption);
    return std::nullopt;
}

void cannotWrite(const FileRunSink &sink, const QString &reason)
{
    error(QLatin1String(kCommand),
          QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(outputName(sink.fileName()), reason));
}

// The files of the request, opened before the first record; said when one
// cannot be.
std::optional<int> openFiles(const Request &r, LiveRun &run, const QString &model,
                             std::vector<std::unique_ptr<FileRunSink>> &files)
{
    if (!r.outputs.csvFile.isEmpty())
        files.push_back(std::make_unique<CsvRunSink>(run, model, r.outputs.csvFile, RegularFile::Accept::Streams));
    if (!r.outputs.jsonLinesFile.isEmpty())
        files.push_back(std::make_unique<JsonLinesRunSink>(r.outputs.jsonLinesFile, RegularFile::Accept::Streams));
    for (const auto &file : files) {
        QString reason;
        if (!file->open(&reason)) {
            cannotWrite(*file, reason);
            return CannotWrite;
        }
    }
    return std::nullopt;
}

// The run's line on a terminal's standard error, at most once a second.
class StatusLine
{
public:
    StatusLine() : m_terminal(::isatty(STDERR_FILENO) == 1) {}
    // Clears the line for a message.
    void clear() const
    {
        if (m_terminal)
            std::fputs("\r\x1b[K", stderr);
    }
    void show(const LiveRun &run, const RunRecorder &recorder, bool force)
    {
        const qint64 now = run.elapsedMs();
        if (!m_terminal || (!force && now - m_lastMs < 1000))
            return;
        m_lastMs = now;
        const MeterReading &r = recorder.latest();
        std::fprintf(stderr, "\r%s  %.3f V  %.3f A  %.3f W  %.3f Ah  %.3f Wh  %lld records%s\x1b[K",
                     qPrintable(TimeText::duration(now)), double(r.vbus), double(r.ibus), double(r.power),
                     double(r.capacity), double(r.energy), static_cast<long long>(run.records()),
                     recorder.connected() ? "" : "  (unplugged)");
        std::fflush(stderr);
    }
    void newLine() const
    {
        if (m_terminal)
            std::fputs("\n", stderr);
    }

private:
    bool m_terminal;
    qint64 m_lastMs = -1000;
};

// The meter's comings and goings, said, with the session's rule for a meter
// that comes back.
void followMeter(RunRecorder &recorder, RunSession &session, const StatusLine &line, bool endOnUnplug)
{
    QObject::connect(&recorder, &RunRecorder::unplugged, &session, [&recorder, &session, &line, endOnUnplug] {
        session.meterLost();
        line.newLine();
        error(QLatin1String(kCommand), endOnUnplug
                                           ? QCoreApplication::translate("Cli", "电表已拔出：运行结束")
                                           : QCoreApplication::translate("Cli", "电表已拔出：等待它（序列号 %1）重新插上")
                                                 .arg(recorder.serialNumber()));
    });
    QObject::connect(&recorder, &RunRecorder::replugged, &session, [&recorder, &session] {
        session.meterBack(recorder.serialNumber());
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "电表已重新插上：运行继续"));
    });
}

// The end of the run and "offline" reach the broker when it is there; the
// records it missed are said.
void closeBroker(MqttSink &mqtt)
{
    mqtt.close(3000);
    if (mqtt.dropped() > 0)
        error(QLatin1String(kCommand),
              QStringLiteral("%1 of %2 records were not sent to the MQTT broker %3 (no connection, or it did "
                             "not keep up): only MQTT missed them")
                  .arg(mqtt.dropped())
                  .arg(mqtt.dropped() + mqtt.sent())
                  .arg(mqtt.settings().url()));
}

// What the journal and the files say once the run has ended, and the line
// that says how it ended; the exit status.
int sayEnd(int status, RunSession &session, bool inJournal, const std::vector<FileRunSink *> &files)
{
    for (const FileRunSink *file : files) {
        if (!file->closeError().isEmpty() && status == Ok) {
            cannotWrite(*file, file->closeError());
            status = CannotWrite;
        }
    }
    RunJournalSink &journalSink = session.journalSink();
    if (inJournal && !journalSink.endWritten() && journalSink.status().state != RunSink::State::Fault)
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "运行的结束无法写入运行记录数据库：它将显示为中断的运行"));
    const bool kept = inJournal && journalSink.keptWhole();
    if (status == CannotWrite)
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "出错之前的记录都已在文件中"));
    else if (!kept && status == Ok)
        status = CannotWrite;   // the run is not (wholly) in the run journal
    // How the run ended, in one line for a script's log.
    const LiveRun &run = session.run();
    const IntervalStats total = run.stats().total();
    error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "运行已结束（%1），历时 %2：%3，%4 Ah，%5 Wh")
                                       .arg(StopConditions::reasonWords(run.endReason()), TimeText::runDuration(total.duration_s),
                                            total.records == 1 ? QCoreApplication::translate("Cli", "1 条记录")
                                                               : QCoreApplication::translate("Cli", "%1 条记录").arg(total.records))
                                       .arg(total.charge_ah, 0, 'f', 6)
                                       .arg(total.energy_wh, 0, 'f', 6));
    return status;
}

} // namespace

int runRecord(const QStringList &arguments)
{
    Request request;
    if (const std::optional<int> done = readRequest(arguments, request))
        return *done;
    RunRecorder recorder(request.meter);
    if (const std::optional<int> failed = openForCommand(recorder.port(), kCommand, request.meter.serial))
        return *failed;
    recorder.opened();
    const ProductInfo product = parseProductString(recorder.product());

    // The run keeps in memory only what its sinks have not taken yet; the
    // journal's sink first, so a run killed at any moment has in the journal
    // at least every record its files have.
    RunSession session;
    LiveRun &run = session.run();
    run.setKeepRecords(false);
    run.setConditions(request.conditions);
    std::vector<std::unique_ptr<FileRunSink>> opened;
    if (const std::optional<int> bad = openFiles(request, run, product.modelWord, opened))
        return *bad;
    RecordOutputs outputs;
    if (const std::optional<int> bad = outputs.open(request.outputs))
        return *bad;
    StatusLine line;
    // What the session says (the journal's faults, their end, what the size
    // cap did) in the window's words; a fault never ends the run.
    QObject::connect(&session, &RunSession::tipChanged, [&] {
        if (!session.tip().isEmpty()) {
            line.clear();
            error(QLatin1String(kCommand), session.tip());
        }
    });
    session.openJournal();
    session.describeNextRuns(request.name, request.fields);
    std::vector<FileRunSink *> files;
    for (auto &file : opened)
        files.push_back(run.attach(std::move(file)));
    outputs.attach(run, files);
    // The broker last: it never holds back the run nor the files. Its
    // connection is said once at each change.
    MqttSink *mqtt = nullptr;
    if (!request.outputs.mqttUrl.isEmpty()) {
        mqtt = run.attach(std::make_unique<MqttSink>(request.outputs.mqtt()));
        QObject::connect(mqtt, &MqttSink::statusChanged, [&](const MqttStatus &said) {
            if (said.kind == MqttStatus::Connecting)
                return;
            line.clear();
            error(QLatin1String(kCommand), said.words(mqtt->settings().url()));
        });
        mqtt->start({product.modelWord, product.versionWord, recorder.serialNumber()});
    }

    QuitSignals quit;
    if (!quit.caught()) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法设置信号处理"));
        return Failed;
    }
    // A pipe whose reader stops reading cannot hold the run past a signal.
    OutputFile::setWakeDescriptor(quit.wakeDescriptor());
    int status = Ok;
    std::optional<QString> endReason;
    // The command ends: the run ends with this reason once the event loop is left.
    auto finish = [&](int code, const QString &reason) {
        if (endReason)
            return;
        status = code;
        endReason = reason;
        recorder.stop();
        QCoreApplication::exit(code);
    };
    QObject::connect(&run, &LiveRun::sinkStatusChanged, [&](int i) {
        const RunSink &sink = run.sink(i);
        if (outputs.statusChanged(sink) || &sink == &session.journalSink())
            return;
        // A file that cannot be written ends the run; a reader that went
        // away (`| head`) ends it as stopped, quietly.
        const RunSink::Status said = sink.status();
        if (said.state == RunSink::State::Closed) {
            finish(Ok, QLatin1String(RunJournal::kStopped));
        } else if (said.state == RunSink::State::Fault && run.underWay()) {
            cannotWrite(static_cast<const FileRunSink &>(sink), said.message);
            finish(CannotWrite, QLatin1String(RunJournal::kStopped));
        }
    });
    QObject::connect(&recorder, &RunRecorder::taken, &run, &LiveRun::add);
    QObject::connect(&recorder, &RunRecorder::recorded, &run, &LiveRun::flush);
    QObject::connect(&recorder, &RunRecorder::ticked, [&] {
        if (run.checkConditions(recorder.tickMs()))
            finish(Ok, run.endReason());
        else
            line.show(run, recorder, false);
    });
    followMeter(recorder, session, line, request.meter.exitOnUnplug);
    QObject::connect(&recorder, &RunRecorder::finished, [&] { finish(Ok, QLatin1String(RunJournal::kUnplugged)); });
    QObject::connect(&quit, &QuitSignals::received, [&] { finish(Ok, QLatin1String(RunJournal::kStopped)); });

    run.begin({product.modelWord, product.versionWord, recorder.serialNumber()});
    const bool inJournal = session.journalSink().runId() != 0;
    run.armConditions();
    recorder.start();
    if (!endReason)
        QCoreApplication::exec();
    OutputFile::setWakeDescriptor(-1);
    line.show(run, recorder, true);
    line.newLine();
    // Ends the run, unless a stop condition did: the files are closed, then
    // the journal's run ends (as unplugged when the meter is out, as the
    // window's does).
    if (!endReason || *endReason == QLatin1String(RunJournal::kStopped))
        run.stop();
    else
        run.end(*endReason);
    outputs.finish();
    if (mqtt)
        closeBroker(*mqtt);
    return sayEnd(status, session, inJournal, files);
}

} // namespace Cli
