// ombrel record: a run recorded without a window, to CSV and/or JSON lines.
#include "cli/command.h"
#include "cli/outputoptions.h"

#include "base/quitsignals.h"
#include "meterbench/benchrecording.h"
#include "base/timetext.h"
#include "outputs/recordoutputs.h"
#include "recording/liverun.h"
#include "recording/newfile.h"
#include "recording/recordedrun.h"
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

// The command line of a run, read and checked.
struct Request {
    QString name;
    RunFields fields;
    StopConditions conditions;
    RunRecorder::Options meter;
    LiveOutputsSettings outputs;
    std::vector<BenchRecording::Member> bench;   // --meter ROLE=SERIAL, two to four
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
    const QCommandLineOption benchOption(QStringLiteral("meter"),
                                         QStringLiteral("A meter of a bench and its role: in=SERIAL, out=SERIAL or "
                                                        "NAME=SERIAL; given two to four times, the meters are "
                                                        "recorded together, with the efficiency, loss, voltage drop "
                                                        "and resistance between in and out."),
                                         QStringLiteral("role=serial"));
    parser.addOptions({serialOption, allOption, unplugOption, benchOption});
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
    for (const StopConditions::Option &s : StopConditions::options()) {
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
        const StopConditions::Option &option = StopConditions::options()[size_t(i)];
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
    for (const QString &given : parser.values(benchOption)) {
        const int equals = given.indexOf(QLatin1Char('='));
        if (equals <= 0 || equals == given.size() - 1) {
            error(QLatin1String(kCommand),
                  QStringLiteral("bad value '%1' for --meter: ROLE=SERIAL, such as in=0012345678").arg(given));
            return Usage;
        }
        r.bench.push_back({given.left(equals), given.mid(equals + 1)});
    }
    if (!r.bench.empty()) {
        const QString wrong = BenchRecording::checkMembers(r.bench);
        if (!wrong.isEmpty()) {
            error(QLatin1String(kCommand), wrong);
            return Usage;
        }
        if (parser.isSet(serialOption)) {
            error(QLatin1String(kCommand), QStringLiteral("--serial and --meter: a bench names its meters with --meter"));
            return Usage;
        }
        // One file for several meters: the JSON lines know whose each
        // record is, the window's CSV and the line protocol file do not.
        for (const auto &file : {std::make_pair(&r.outputs.csvFile, "--csv"), std::make_pair(&r.outputs.influxFile, "--influx")}) {
            if (!file.first->isEmpty()) {
                error(QLatin1String(kCommand), QStringLiteral("%1 does not take a bench: --jsonl does, or export each "
                                                              "of its runs afterwards").arg(QLatin1String(file.second)));
                return Usage;
            }
        }
    }
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

// What the journal and the files say once the run has ended, and the line
// that says how it ended; the exit status.
int sayEnd(int status, RunSession &session, bool inJournal, const std::vector<FileRunSink *> &files,
           const QString &command = QLatin1String(kCommand))
{
    for (const FileRunSink *file : files) {
        if (!file->closeError().isEmpty() && status == Ok) {
            cannotWrite(*file, file->closeError());
            status = CannotWrite;
        }
    }
    RunJournalSink &journalSink = session.journalSink();
    if (inJournal && !journalSink.endWritten() && journalSink.status().state != RunSink::State::Fault)
        error(command, QCoreApplication::translate("Cli", "运行的结束无法写入运行记录数据库：它将显示为中断的运行"));
    const bool kept = inJournal && journalSink.keptWhole();
    if (status == CannotWrite)
        error(command, QCoreApplication::translate("Cli", "出错之前的记录都已在文件中"));
    else if (!kept && status == Ok)
        status = CannotWrite;   // the run is not (wholly) in the run journal
    // How the run ended, in one line for a script's log.
    const LiveRun &run = session.run();
    const IntervalStats total = run.stats().total();
    error(command, QCoreApplication::translate("Cli", "运行已结束（%1），历时 %2：%3，%4 Ah，%5 Wh")
                                       .arg(StopConditions::reasonWords(run.endReason()), TimeText::runDuration(total.duration_s),
                                            total.records == 1 ? QCoreApplication::translate("Cli", "1 条记录")
                                                               : QCoreApplication::translate("Cli", "%1 条记录").arg(total.records))
                                       .arg(total.charge_ah, 0, 'f', 6)
                                       .arg(total.energy_wh, 0, 'f', 6));
    return status;
}

// The figures of a bench's in and out meters, in one line.
void sayBench(const BenchRecording &bench)
{
    if (!bench.pairsInOut())
        return;
    const Bench::Figures f = bench.figures();
    error(QLatin1String(kCommand),
          QCoreApplication::translate("Cli", "输入 %1 Wh，输出 %2 Wh，能量效率 %3 %，损耗平均 %4 W（%5 至 %6 W），%7 对记录，%8 处空缺")
              .arg(f.energyInWh, 0, 'f', 6)
              .arg(f.energyOutWh, 0, 'f', 6)
              .arg(f.energyEfficiencyPct, 0, 'f', 3)
              .arg(f.lossMeanW, 0, 'f', 4)
              .arg(f.lossMinW, 0, 'f', 4)
              .arg(f.lossMaxW, 0, 'f', 4)
              .arg(f.pairs)
              .arg(f.gaps));
}

// Two to four meters recorded together.
int recordBench(const Request &request)
{
    BenchRecording bench({request.name, request.fields, request.conditions, request.meter.allReports,
                          request.meter.exitOnUnplug, request.bench, request.outputs.jsonLinesFile});
    QString words;
    bool noMeter = false;
    if (!bench.open(&words, &noMeter)) {
        error(QLatin1String(kCommand), words);
        return noMeter ? NoMeter : CannotWrite;
    }
    StatusLine line;
    auto say = [&](const QString &said) {
        line.clear();
        error(QLatin1String(kCommand), said);
    };
    QObject::connect(&bench, &BenchRecording::said, say);
    RecordOutputs outputs(say);
    if (!outputs.open(request.outputs, &words)) {
        error(QLatin1String(kCommand), words);
        return CannotWrite;
    }
    QuitSignals quit;
    if (!quit.caught()) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法设置信号处理"));
        return Failed;
    }
    // A pipe whose reader stops reading cannot hold the bench past a signal.
    OutputFile::setWakeDescriptor(quit.wakeDescriptor());
    RecordedRun &shown = bench.run(bench.conditionMember());
    QObject::connect(&bench, &BenchRecording::ticked, [&] { line.show(shown.run(), shown.recorder(), false); });
    QObject::connect(&bench, &BenchRecording::finished, [] { QCoreApplication::exit(0); });
    QObject::connect(&quit, &QuitSignals::received, [&] { bench.finish(QLatin1String(RunJournal::kStopped)); });
    bench.attachFiles();
    outputs.attachBench(bench);
    bench.begin();
    if (!bench.ending())
        QCoreApplication::exec();
    OutputFile::setWakeDescriptor(-1);
    line.show(shown.run(), shown.recorder(), true);
    line.newLine();
    bench.close();
    outputs.finish();
    int status = Ok;
    for (int i = 0; i < bench.size(); ++i) {
        status = std::max(status, sayEnd(bench.failed() ? CannotWrite : Ok, bench.run(i).session(),
                                          bench.run(i).inJournal(), bench.run(i).files(),
                                          QStringLiteral("%1 %2").arg(QLatin1String(kCommand), bench.member(i).role)));
    }
    sayBench(bench);
    return status;
}

} // namespace

int runRecord(const QStringList &arguments)
{
    Request request;
    if (const std::optional<int> done = readRequest(arguments, request))
        return *done;
    if (!request.bench.empty())
        return recordBench(request);
    RecordedRun recorded({request.meter, request.name, request.fields, request.conditions, request.outputs.csvFile,
                          request.outputs.jsonLinesFile});
    QString words;
    bool noMeter = false;
    if (!recorded.open(&words, &noMeter)) {
        error(QLatin1String(kCommand), words);
        return noMeter ? NoMeter : CannotWrite;
    }
    LiveRun &run = recorded.run();
    StatusLine line;
    // What the run and its outputs say (the journal's faults, the meter's
    // comings and goings, a file that cannot be written, the broker), each
    // on a line of its own.
    auto say = [&](const QString &said) {
        line.clear();
        error(QLatin1String(kCommand), said);
    };
    RecordOutputs outputs(say);
    if (!outputs.open(request.outputs, &words)) {
        error(QLatin1String(kCommand), words);
        return CannotWrite;
    }
    QObject::connect(&recorded, &RecordedRun::said, say);
    // The journal first, so a run killed at any moment has in the journal at
    // least every record its files have; then the files, then the outputs.
    recorded.attachFiles();
    std::vector<FileRunSink *> outputFiles;
    outputs.attach(run, {recorded.product().modelWord, recorded.product().versionWord, recorded.recorder().serialNumber()},
                   outputFiles);
    for (FileRunSink *file : outputFiles)
        recorded.adopt(file);

    QuitSignals quit;
    if (!quit.caught()) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法设置信号处理"));
        return Failed;
    }
    // A pipe whose reader stops reading cannot hold the run past a signal.
    OutputFile::setWakeDescriptor(quit.wakeDescriptor());
    QObject::connect(&recorded, &RecordedRun::ticked, [&] { line.show(run, recorded.recorder(), false); });
    // The run ends once the event loop is left.
    QObject::connect(&recorded, &RecordedRun::finished, [] { QCoreApplication::exit(0); });
    QObject::connect(&quit, &QuitSignals::received,
                     [&] { recorded.finish(QLatin1String(RunJournal::kStopped)); });
    recorded.begin();
    if (!recorded.ending())
        QCoreApplication::exec();
    OutputFile::setWakeDescriptor(-1);
    line.show(run, recorded.recorder(), true);
    line.newLine();
    recorded.close();
    outputs.finish();
    return sayEnd(recorded.failed() ? CannotWrite : Ok, recorded.session(), recorded.inJournal(), recorded.files());
}

} // namespace Cli
