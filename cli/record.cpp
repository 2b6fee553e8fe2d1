// ombrel record: a run recorded without a window, to CSV and/or JSON lines.
#include "cli/command.h"
#include "cli/recordoutputs.h"
#include "cli/mqttoptions.h"

#include "base/setting.h"
#include "base/timetext.h"
#include "device/productinfo.h"
#include "outputs/mqttsink.h"
#include "recording/liverun.h"
#include "recording/newfile.h"
#include "recording/runjournal.h"
#include "recording/runrecorder.h"
#include "recording/runsinks.h"
#include "recording/stopconditions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
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

// SIGINT and SIGTERM end the run from the event loop: the handler only
// writes a byte to this pipe.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    (void)written;
}

// The run journal's faults on standard error: each outage said once when it
// begins and again when the journal has caught up, and a journal moved
// aside. A fault never ends the run.
class JournalWords
{
public:
    explicit JournalWords(const RunJournal &journal) : m_journal(journal) {}
    bool faultSaid() const { return m_faultSaid; }
    // From now on the run's journal sink tells what is a fault: a short
    // wait for another program is none.
    void follow(const RunSink &sink) { m_sink = &sink; }

    void report(bool opening)
    {
        const RunJournal::Status status = m_journal.status();
        const QString db = QDir::toNativeSeparators(m_journal.path());
        const bool fault = m_sink ? m_sink->status().state == RunSink::State::Fault
                                  : status != RunJournal::Status::Ok && status != RunJournal::Status::NotOpen;
        if (!fault) {
            if (m_faultSaid && m_journal.isOpen())
                error(QLatin1String(kCommand),
                      QStringLiteral("the run journal %1 has caught up: every record so far is kept").arg(db));
            m_faultSaid = false;
            return;
        }
        if (status == RunJournal::Status::MovedAside) {
            // Not a fault of this run: it is kept in the new journal.
            if (!m_movedSaid)
                error(QLatin1String(kCommand),
                      QStringLiteral("the run journal was damaged or from a newer version of the program: moved "
                                     "aside as %1, a new one is started")
                          .arg(QDir::toNativeSeparators(m_journal.movedAsidePath())));
            m_movedSaid = true;
            return;
        }
        if (m_faultSaid)
            return;
        m_faultSaid = true;
        QString text;
        switch (status) {
        case RunJournal::Status::FolderNotWritable:
            text = QStringLiteral("the run journal's folder %1 cannot be written")
                       .arg(QDir::toNativeSeparators(QFileInfo(m_journal.path()).absolutePath()));
            break;
        case RunJournal::Status::DiskFull:
            text = QStringLiteral("the disk of the run journal %1 is full: its records wait in memory").arg(db);
            break;
        case RunJournal::Status::Locked:
            text = QStringLiteral("the run journal %1 is held by another program: its records wait in memory")
                       .arg(db);
            break;
        case RunJournal::Status::NotAFile:
            text = QStringLiteral("the run journal %1 is %2, not a database file")
                       .arg(db, QLatin1String(RunJournal::fileKindWords(m_journal.notAFile())));
            break;
        default:
            text = QStringLiteral("cannot write the run journal %1 (%2)")
                       .arg(db, m_journal.detail().isEmpty() ? m_journal.message() : m_journal.detail());
            break;
        }
        text += opening || !m_journal.isOpen()
                    ? QStringLiteral("; the run is recorded to the files given but not kept in the run history")
                    : QStringLiteral("; the run goes on to the files given");
        error(QLatin1String(kCommand), text);
    }

private:
    const RunJournal &m_journal;
    const RunSink *m_sink = nullptr;
    bool m_faultSaid = false;
    bool m_movedSaid = false;
};

// Opens the run journal with the settings file's cap: a bad cap is said.
void openJournal(RunJournal &journal)
{
    QString badCap;
    journal.setSizeCap(RunJournal::sizeCapFromSettings(Setting(), &badCap));
    if (!badCap.isEmpty())
        error(QLatin1String(kCommand),
              QStringLiteral("%1=%2 in the settings file %3 is not a whole number of MiB from 1 to %4: the run "
                             "journal's cap is the default %5 MiB")
                  .arg(RunJournal::sizeCapKey(), badCap, QDir::toNativeSeparators(Setting::filePath()))
                  .arg(RunJournal::kLargestSizeCapMB)
                  .arg(RunJournal::kDefaultSizeCap >> 20));
    journal.open();
}

} // namespace

int runRecord(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("Write the run to this CSV file, in the window's format "
                                                      "(an existing file is appended to), or to standard output "
                                                      "for -."),
                                       QStringLiteral("file|-"));
    const QCommandLineOption jsonOption(QStringLiteral("jsonl"),
                                        QStringLiteral("Write one JSON object a record to this file (appended "
                                                       "to), or to standard output for -."),
                                        QStringLiteral("file|-"));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Record the meter with this serial number."),
                                          QStringLiteral("serial"));
    const QCommandLineOption allOption(QStringLiteral("all-reports"),
                                       QStringLiteral("A record for every measurement the meter sends, each with "
                                                      "its own time, instead of one a second."));
    const QCommandLineOption unplugOption(QStringLiteral("exit-on-unplug"),
                                          QStringLiteral("End the run (exit status 0) when the meter is pulled out, "
                                                         "instead of waiting for it to come back."));
    parser.addOptions({csvOption, jsonOption, serialOption, allOption, unplugOption});
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
    RecordOutputs outputs;
    parser.addOptions(outputs.options());
    MqttOptions mqttOptions;
    mqttOptions.add(parser, true);
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
    const QString csvName = parser.value(csvOption);
    const QString jsonName = parser.value(jsonOption);
    if ((parser.isSet(csvOption) && csvName.isEmpty()) || (parser.isSet(jsonOption) && jsonName.isEmpty())) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "--%1 的文件名为空")
                                           .arg(parser.isSet(csvOption) && csvName.isEmpty() ? "csv" : "jsonl"));
        return Usage;
    }
    if (csvName == QLatin1String("-") && jsonName == QLatin1String("-")) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "--csv 和 --jsonl 只能有一个写到标准输出（-）"));
        return Usage;
    }
    StopConditions conditions;
    for (int i = 0; i < stops.size(); ++i) {
        if (!parser.isSet(stops[i]))
            continue;
        const StopOption &option = stopOptions()[i];
        QString reason;
        const QString value = parser.value(stops[i]);
        if (!StopConditions::parse(option.kind, value, &conditions[option.kind], &reason)) {
            error(QLatin1String(kCommand),
                  QStringLiteral("bad value '%1' for --%2: %3").arg(value, QLatin1String(option.name), reason));
            return Usage;
        }
    }
    RunFields fields;
    fields.notes = parser.value(noteOption);
    fields.dut = parser.value(dutOption);
    fields.source = parser.value(sourceOption);
    fields.cable = parser.value(cableOption);
    if (parser.isSet(ambientOption)) {
        bool ok = false;
        const double c = parser.value(ambientOption).toDouble(&ok);
        if (!ok || !std::isfinite(c) || c < -273.15 || c > 1000.0) {
            error(QLatin1String(kCommand), QStringLiteral("bad value '%1' for --ambient: a temperature in degrees "
                                                          "Celsius such as 25 or -5.5")
                                               .arg(parser.value(ambientOption)));
            return Usage;
        }
        fields.ambientC = c;
    }
    if (const std::optional<int> bad = outputs.read(parser))
        return *bad;
    MqttSettings mqttSettings;
    bool mqttGiven = false;
    if (const std::optional<int> done = mqttOptions.read(parser, kCommand, &mqttSettings, &mqttGiven))
        return *done;
    RunRecorder::Options options;
    options.serial = parser.value(serialOption);
    options.allReports = parser.isSet(allOption);
    options.exitOnUnplug = parser.isSet(unplugOption);
    RunRecorder recorder(options);
    QString node;
    switch (recorder.open(&node)) {
    case MeterOpen::Opened:
        break;
    case MeterOpen::NoMeter:
        error(QLatin1String(kCommand), options.serial.isEmpty()
                                           ? QCoreApplication::translate("Cli", "没有连接电表")
                                           : QCoreApplication::translate("Cli", "没有连接序列号为 %1 的电表")
                                                 .arg(options.serial));
        return NoMeter;
    case MeterOpen::AccessDenied:
        error(QLatin1String(kCommand), accessHint(node));
        return NoMeter;
    case MeterOpen::Failed:
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法打开电表 %1").arg(node));
        return NoMeter;
    }
    const ProductInfo product = parseProductString(recorder.product());

    // The run keeps in memory only what its sinks have not taken yet.
    LiveRun run;
    run.setKeepRecords(false);
    run.setConditions(conditions);
    auto cannotWrite = [](const FileRunSink &sink, const QString &reason) {
        error(QLatin1String(kCommand),
              QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(outputName(sink.fileName()), reason));
    };
    // Every output is opened before the first record.
    std::unique_ptr<CsvRunSink> csvFile;
    if (!csvName.isEmpty()) {
        csvFile.reset(new CsvRunSink(run, product.modelWord, csvName, RegularFile::Accept::Streams));
        QString reason;
        if (!csvFile->open(&reason)) {
            cannotWrite(*csvFile, reason);
            return CannotWrite;
        }
    }
    std::unique_ptr<JsonLinesRunSink> jsonFile;
    if (!jsonName.isEmpty()) {
        jsonFile.reset(new JsonLinesRunSink(jsonName, RegularFile::Accept::Streams));
        QString reason;
        if (!jsonFile->open(&reason)) {
            cannotWrite(*jsonFile, reason);
            return CannotWrite;
        }
    }
    if (const std::optional<int> bad = outputs.open())
        return *bad;

    // The run history: a journal that cannot be opened is said, and the run
    // goes on to the files. The journal first: a run killed at any moment has
    // in the journal at least every record its files have.
    RunJournal journal;
    openJournal(journal);
    JournalWords journalWords(journal);
    journalWords.report(true);
    RunJournalSink *const journalSink = run.attach(std::make_unique<RunJournalSink>(journal));
    journalSink->describe(parser.value(nameOption), fields);
    journalWords.follow(*journalSink);
    std::vector<FileRunSink *> files;
    if (csvFile)
        files.push_back(run.attach(std::move(csvFile)));
    if (jsonFile)
        files.push_back(run.attach(std::move(jsonFile)));
    outputs.attach(run, files);

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    // The broker last: it never holds back the run nor the files. Its
    // connection is said once at each change.
    MqttSink *mqtt = nullptr;
    if (mqttGiven) {
        mqtt = run.attach(std::make_unique<MqttSink>(mqttSettings));
        QObject::connect(mqtt, &MqttSink::statusChanged, [&](const MqttStatus &said) {
            if (said.kind == MqttStatus::Connecting)
                return;
            if (terminal)
                std::fputs("\r\x1b[K", stderr);
            error(QLatin1String(kCommand), said.words(mqttSettings.url()));
        });
        mqtt->start({product.modelWord, product.versionWord, recorder.serialNumber()});
    }

    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法设置信号处理"));
        return Failed;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    // A pipe whose reader stops reading cannot hold the run past a signal.
    OutputFile::setWakeDescriptor(g_signalPipe[0]);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    qint64 lastStatusMs = -1000;
    int status = Ok;
    bool finished = false;
    QString endReason = QLatin1String(RunJournal::kStopped);
    // The command ends: the run ends with this reason once the event loop is left.
    auto finish = [&](int code, const QString &reason) {
        if (finished)
            return;
        finished = true;
        status = code;
        endReason = reason;
        recorder.stop();
        QCoreApplication::exit(code);
    };
    auto showStatus = [&](bool force) {
        if (!terminal)
            return;
        const qint64 now = run.elapsedMs();
        if (!force && now - lastStatusMs < 1000)
            return;
        lastStatusMs = now;
        const MeterReading &r = recorder.latest();
        std::fprintf(stderr, "\r%s  %.3f V  %.3f A  %.3f W  %.3f Ah  %.3f Wh  %lld records%s\x1b[K",
                     qPrintable(TimeText::duration(now)), double(r.vbus), double(r.ibus), double(r.power),
                     double(r.capacity), double(r.energy), static_cast<long long>(run.records()),
                     recorder.connected() ? "" : "  (unplugged)");
        std::fflush(stderr);
    };

    QObject::connect(&run, &LiveRun::sinkStatusChanged, [&](int i) {
        const RunSink &sink = run.sink(i);
        if (outputs.statusChanged(sink))
            return;
        if (&sink == journalSink) {
            journalWords.report(false);
            return;
        }
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
        if (run.checkConditions(recorder.tickMs())) {
            finish(Ok, run.endReason());
            return;
        }
        showStatus(false);
    });
    QObject::connect(&recorder, &RunRecorder::unplugged, [&] {
        run.pause();
        if (terminal)
            std::fputs("\n", stderr);
        error(QLatin1String(kCommand), options.exitOnUnplug
                                           ? QCoreApplication::translate("Cli", "电表已拔出：运行结束")
                                           : QCoreApplication::translate("Cli", "电表已拔出：等待它（序列号 %1）重新插上")
                                                 .arg(recorder.serialNumber()));
    });
    QObject::connect(&recorder, &RunRecorder::replugged, [&] {
        run.resume();
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "电表已重新插上：运行继续"));
    });
    QObject::connect(&recorder, &RunRecorder::finished, [&] { finish(Ok, QLatin1String(RunJournal::kUnplugged)); });
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        finish(Ok, QLatin1String(RunJournal::kStopped));
    });

    run.begin({product.modelWord, product.versionWord, recorder.serialNumber()});
    const bool inJournal = journalSink->runId() != 0;
    run.armConditions();
    recorder.start();
    if (!finished)
        QCoreApplication::exec();

    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    OutputFile::setWakeDescriptor(-1);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    showStatus(true);
    if (terminal)
        std::fputs("\n", stderr);
    // Ends the run, unless a stop condition did: the files are closed, then
    // the journal's run ends (as unplugged when the meter is out, as the
    // window's does).
    if (endReason == QLatin1String(RunJournal::kStopped))
        run.stop();
    else
        run.end(endReason);
    outputs.finish();
    if (mqtt) {
        // The end of the run and "offline" reach the broker when it is there.
        mqtt->close(3000);
        if (mqtt->dropped() > 0)
            error(QLatin1String(kCommand),
                  QStringLiteral("%1 of %2 records were not sent to the MQTT broker %3 (no connection, or it did "
                                 "not keep up): only MQTT missed them")
                      .arg(mqtt->dropped())
                      .arg(mqtt->dropped() + mqtt->sent())
                      .arg(mqttSettings.url()));
    }
    for (const FileRunSink *file : files) {
        if (!file->closeError().isEmpty() && status == Ok) {
            cannotWrite(*file, file->closeError());
            status = CannotWrite;
        }
    }
    if (inJournal && !journalSink->endWritten()) {
        journalWords.report(false);
        if (!journalWords.faultSaid())
            error(QLatin1String(kCommand), QStringLiteral("the end of the run could not be written to the run "
                                                          "journal: it will show as interrupted"));
    }
    if (inJournal && journal.takeOverCap())
        error(QLatin1String(kCommand),
              QStringLiteral("the runs the run journal %1 must keep (the one that has ended and those "
                             "recording) are over its cap of %2 MiB (%3 in the settings file): they are kept")
                  .arg(QDir::toNativeSeparators(journal.path()))
                  .arg(journal.sizeCap() >> 20)
                  .arg(RunJournal::sizeCapKey()));
    const bool kept = inJournal && journalSink->keptWhole();
    if (status == CannotWrite)
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "出错之前的记录都已在文件中"));
    else if (!kept && status == Ok)
        status = CannotWrite;   // the run is not (wholly) in the run journal
    // How the run ended, in one line for a script's log.
    const IntervalStats total = run.stats().total();
    error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "运行已结束（%1），历时 %2：%3，%4 Ah，%5 Wh")
                                       .arg(StopConditions::reasonWords(run.endReason()), TimeText::runDuration(total.duration_s),
                                            total.records == 1 ? QCoreApplication::translate("Cli", "1 条记录")
                                                               : QCoreApplication::translate("Cli", "%1 条记录").arg(total.records))
                                       .arg(total.charge_ah, 0, 'f', 6)
                                       .arg(total.energy_wh, 0, 'f', 6));
    return status;
}

} // namespace Cli
