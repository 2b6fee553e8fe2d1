// ombrel runs, export and stats: the run history kept by the run journal.
#include "cli/command.h"
#include "cli/cli.h"

#include "base/setting.h"
#include "base/timetext.h"
#include "meterbench/benchjournal.h"
#include "recording/jsonlines.h"
#include "recording/newfile.h"
#include "recording/readinglog.h"
#include "recording/runinterval.h"
#include "recording/runjournal.h"
#include "recording/savedatadeal.h"
#include "recording/sigroksession.h"
#include "recording/stopconditions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

namespace Cli {

namespace {

const char kRunHelp[] = "RUN is a run's id (as ombrel runs lists them) or 'last', the newest run; stats, export "
                        "--jsonl, marks and report also take a bench as bN.";

// A bench as `runs` names it: "b" and its id.
std::optional<qint64> benchWord(const QString &word)
{
    static const QRegularExpression shape(QStringLiteral("^b([1-9][0-9]{0,17})$"));
    const QRegularExpressionMatch m = shape.match(word);
    return m.hasMatch() ? std::optional<qint64>(m.captured(1).toLongLong()) : std::nullopt;
}

// Opens the journal at its usual place for reading: nothing is written,
// moved or deleted. False (said) when it cannot be read.
bool openJournal(RunJournal &journal, const char *command)
{
    if (journal.open(RunJournal::Mode::Read))
        return true;
    // The window's words for it.
    error(QLatin1String(command), journal.message());
    return false;
}

// What was read from the journal, written out. A read that failed on the
// way (a damaged page, an I/O error) leaves the journal's status set: that
// is said and nothing printed, rather than a part taken for the whole.
int writeRead(const RunJournal &journal, const char *command, const QByteArray &out)
{
    if (journal.status() != RunJournal::Status::Ok) {
        error(QLatin1String(command), journal.message());
        return int(Failed);
    }
    return writeOut(command, out);
}

// The run RUN names: an id or "last". Usage for a bad word, Failed for a run
// that is not there, both said.
std::optional<int> findRun(RunJournal &journal, const char *command, const QString &word, JournalRun &run)
{
    bool ok = false;
    const qint64 id = word.toLongLong(&ok);
    if (word != QLatin1String("last") && (!ok || id <= 0 || word.startsWith(QLatin1Char('+')))) {
        error(QLatin1String(command),
              QCoreApplication::translate("Cli", "无效的运行“%1”：应为运行的编号（见 %2 runs）或 last").arg(word, programName()));
        return int(Usage);
    }
    const std::vector<JournalRun> runs = journal.runs();
    for (const JournalRun &r : runs) {
        if (word == QLatin1String("last") || r.id == id) {
            run = r;
            return std::nullopt;
        }
    }
    error(QLatin1String(command), word == QLatin1String("last")
                                      ? QCoreApplication::translate("Cli", "运行记录数据库 %1 中没有运行").arg(journal.path())
                                      : QCoreApplication::translate("Cli", "运行记录数据库 %2 中没有运行 %1").arg(word, journal.path()));
    return int(Failed);
}

// The one positional RUN of a command.
std::optional<int> runArgument(const QCommandLineParser &parser, const char *command, QString &word)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        error(QLatin1String(command), args.isEmpty() ? QCoreApplication::translate("Cli", "哪一次运行？请给出其编号或 last")
                                                     : QCoreApplication::translate("Cli", "多余的参数“%1”").arg(args[1]));
        return int(Usage);
    }
    word = args[0];
    return std::nullopt;
}


// The interval --from/--to give, on the run's timeline; the whole run for
// options not given. A wall-clock time is where the run's clock showed it;
// one it showed twice (set back during the run) is ambiguous, and said; one
// it never showed is taken by the offset of the first record. Usage (said) for an ambiguous time.
std::optional<int> intervalOnTimeline(RunJournal &journal, const JournalRun &run, const QCommandLineParser &parser,
                                      const QCommandLineOption &fromOption, const QCommandLineOption &toOption,
                                      const char *command, qint64 &fromRun, qint64 &toRun)
{
    const RunInterval interval(journal, run.id);
    auto onTimeline = [&](const QCommandLineOption &option, qint64 &at) -> std::optional<int> {
        std::vector<qint64> times;
        if (interval.place(*RunMoment::parse(parser.value(option)), &option == &toOption, &at, &times))
            return std::nullopt;
        error(QLatin1String(command),
              interval.ambiguousWords(parser.value(option), QStringLiteral("--") + option.names().first(), times));
        return int(Usage);
    };
    fromRun = std::numeric_limits<qint64>::min() / 2;
    toRun = std::numeric_limits<qint64>::max() / 2;
    if (parser.isSet(fromOption))
        if (const std::optional<int> bad = onTimeline(fromOption, fromRun))
            return bad;
    if (parser.isSet(toOption))
        if (const std::optional<int> bad = onTimeline(toOption, toRun))
            return bad;
    if (&fromOption != &toOption && parser.isSet(fromOption) && parser.isSet(toOption) && fromRun > toRun) {
        error(QLatin1String(command), QCoreApplication::translate("Cli", "--from %1 在 --to %2 之后")
                                          .arg(parser.value(fromOption), parser.value(toOption)));
        return int(Usage);
    }
    return std::nullopt;
}

// Usage (said, with the run's span) for an interval that holds no moment of
// the run from its first record at t0 to its last at `last`, or a time (the
// same option twice) outside it.
std::optional<int> checkWithinRun(const JournalRun &run, const QCommandLineParser &parser,
                                  const QCommandLineOption &fromOption, const QCommandLineOption &toOption,
                                  const char *command, qint64 t0, qint64 last, qint64 fromRun, qint64 toRun)
{
    if (fromRun <= last && toRun >= t0)
        return std::nullopt;
    const QString span = QStringLiteral("%1 – %2").arg(TimeText::durationMs(0), TimeText::durationMs(last - t0));
    if (&fromOption == &toOption)
        error(QLatin1String(command), QCoreApplication::translate("Cli", "--%1 %2 不在运行 %3 之内（%4）")
                                          .arg(fromOption.names().first(), parser.value(fromOption))
                                          .arg(run.id)
                                          .arg(span));
    else
        error(QLatin1String(command), QCoreApplication::translate("Cli", "所给区间不在运行 %1 之内（%2）")
                                          .arg(run.id)
                                          .arg(span));
    return int(Usage);
}

// Usage (said) for a --from/--to that is not a TIME; checked before the
// journal is opened.
std::optional<int> checkTimes(const QCommandLineParser &parser, const QCommandLineOption &fromOption,
                              const QCommandLineOption &toOption, const char *command)
{
    static const QRegularExpression shape(QStringLiteral("^([+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)|\\d{4}-\\d\\d-\\d\\dT.+)$"));
    for (const QCommandLineOption *o : {&fromOption, &toOption}) {
        if (o->names().isEmpty() || !parser.isSet(*o))
            continue;
        const QString v = parser.value(*o);
        if (!shape.match(v).hasMatch() || !RunMoment::parse(v)) {
            error(QLatin1String(command), RunMoment::badWords(v, QStringLiteral("--") + o->names().first()));
            return int(Usage);
        }
    }
    return std::nullopt;
}

// A text a user gave, as one line of plain text for the terminal: lines
// joined with " / ", tabs and other control characters (an escape sequence's
// ESC among them) as spaces.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral(" / "));
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text.trimmed();
}

// What a run is about, after its line in `runs`: "  | name; device: …;
// source: …; cable: …; 25 °C; notes: …", nothing when none is given.
QString aboutText(const JournalRun &r)
{
    QStringList parts;
    if (!r.name.isEmpty())
        parts << oneLine(r.name);
    const std::pair<const char *, const QString *> fields[] = {
        {"device", &r.fields.dut}, {"source", &r.fields.source}, {"cable", &r.fields.cable}};
    for (const auto &f : fields) {
        if (!f.second->isEmpty())
            parts << QStringLiteral("%1: %2").arg(QLatin1String(f.first), oneLine(*f.second));
    }
    if (r.fields.hasAmbient())
        parts << QStringLiteral("%1 \u00b0C").arg(r.fields.ambientC);
    if (!r.fields.notes.isEmpty())
        parts << QStringLiteral("notes: %1").arg(oneLine(r.fields.notes));
    return parts.isEmpty() ? QString() : QStringLiteral("  | ") + parts.join(QStringLiteral("; "));
}

const char kTimeHelp[] = "a local date-time in ISO 8601 (2026-12-08T13:05:09, an offset such as +08:00 may follow) "
                         "or seconds from the run's start (90, 1.5)";

// The bench bN names, said when there is none (Failed).
std::optional<int> findBench(RunJournal &journal, const char *command, qint64 id, JournalBench &bench)
{
    bench = journal.bench(id);
    if (bench.id)
        return std::nullopt;
    error(QLatin1String(command), QCoreApplication::translate("Cli", "运行记录数据库 %2 中没有工作台 %1")
                                      .arg(QStringLiteral("b%1").arg(id), journal.path()));
    return int(Failed);
}

// The wall-clock times --from and --to name on a bench: times of its in
// meter's run (else its first member's), as its pairs are timed.
std::optional<int> benchInterval(RunJournal &journal, const JournalBench &bench, const QCommandLineParser &parser,
                                 const QCommandLineOption &fromOption, const QCommandLineOption &toOption,
                                 const char *command, std::optional<qint64> &fromWall, std::optional<qint64> &toWall)
{
    const JournalBench::Member *reference = bench.member(QStringLiteral("in"));
    reference = reference ? reference : &bench.members.front();
    JournalRun run;
    run.id = reference->run;
    const RunInterval interval(journal, run.id);
    if (!interval.hasRecords() || (!parser.isSet(fromOption) && !parser.isSet(toOption)))
        return std::nullopt;
    qint64 fromRun = 0, toRun = 0;
    if (const std::optional<int> bad = intervalOnTimeline(journal, run, parser, fromOption, toOption, command, fromRun, toRun))
        return bad;
    if (parser.isSet(fromOption))
        fromWall = fromRun - interval.t0() + interval.firstWall();
    if (parser.isSet(toOption))
        toWall = toRun - interval.t0() + interval.firstWall();
    return std::nullopt;
}

} // namespace

int runRuns(const QStringList &arguments)
{
    const char command[] = "runs";
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("A JSON array of the runs, each an object with the fields of "
                                                       "its row in the journal's run table (notes, dut, source, "
                                                       "cable, ambient_c among them)."));
    parser.addOption(jsonOption);
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("Lists the runs kept in the run journal, newest first, one a line: id, start "
                                 "(local time), duration, records, meter (model and serial number), and how it "
                                 "ended (stopped, unplugged, interrupted) or 'recording' while it goes on; then, "
                                 "after '|', its name, device, source, cable, ambient temperature and notes where "
                                 "given."),
                  arguments))
        return *done;
    if (!parser.positionalArguments().isEmpty()) {
        error(QLatin1String(command), QCoreApplication::translate("Cli", "多余的参数“%1”").arg(parser.positionalArguments().first()));
        return Usage;
    }
    RunJournal journal;
    if (!openJournal(journal, command))
        return Failed;
    const std::vector<JournalRun> runs = journal.listedRuns();
    const std::vector<JournalBench> benches = journal.benches();
    auto benchOf = [&](qint64 run) -> const JournalBench * {
        for (const JournalBench &b : benches) {
            if (std::any_of(b.members.begin(), b.members.end(), [run](const JournalBench::Member &m) { return m.run == run; }))
                return &b;
        }
        return nullptr;
    };
    QByteArray out;
    if (parser.isSet(jsonOption)) {
        out += '[';
        for (size_t k = 0; k < runs.size(); ++k) {
            const JournalRun &r = runs[k];
            out += k ? ",\n" : "\n";
            out += JsonLines::runObject(r, benchOf(r.id));
        }
        out += runs.empty() ? "]\n" : "\n]\n";
    } else {
        auto runLine = [&](const JournalRun &r, const QString &id) {
            const QString meter = (r.model + QLatin1Char(' ') + r.serial).trimmed();
            out += QStringLiteral("%1  %2  %3  %4  %5  %6")
                       .arg(id, 4)
                       .arg(TimeText::localDateTime(r.startMs), TimeText::runDuration(r.duration_s))
                       .arg(r.records, 7)
                       .arg(meter.isEmpty() ? QStringLiteral("-") : meter,
                            StopConditions::reasonWords(r.endReason, !r.finished()))
                       .toUtf8();
        };
        QSet<qint64> shown;
        for (const JournalRun &r : runs) {
            const JournalBench *bench = benchOf(r.id);
            if (!bench) {
                runLine(r, QString::number(r.id));
                out += aboutText(r).toUtf8() + '\n';
                continue;
            }
            // A bench is one entry where its newest member would be: its
            // line, then each member's, under it, with its role.
            if (shown.contains(bench->id))
                continue;
            shown.insert(bench->id);
            out += QStringLiteral("%1  %2  bench of %3 meters%4\n")
                       .arg(QStringLiteral("b%1").arg(bench->id), 4)
                       .arg(TimeText::localDateTime(bench->startMs))
                       .arg(bench->members.size())
                       .arg(bench->name.isEmpty() ? QString() : QStringLiteral("  | ") + oneLine(bench->name))
                       .toUtf8();
            for (const JournalBench::Member &m : bench->members) {
                const auto member = std::find_if(runs.begin(), runs.end(), [&](const JournalRun &k) { return k.id == m.run; });
                if (member == runs.end())
                    continue;
                runLine(*member, QStringLiteral("  %1 %2").arg(oneLine(m.role)).arg(member->id));
                out += '\n';
            }
        }
    }
    return writeRead(journal, command, out);
}

int runExport(const QStringList &arguments)
{
    const char command[] = "export";
    QCommandLineParser parser;
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("Write the run to this CSV file, in the window's format: an "
                                                      "existing file is appended to, a new one appears only when "
                                                      "complete; - is standard output."),
                                       QStringLiteral("file|-"));
    const QCommandLineOption jsonOption(QStringLiteral("jsonl"),
                                        QStringLiteral("Write one JSON object a record, as record does, to this "
                                                       "file (the same rules as --csv) or to standard output for -."),
                                        QStringLiteral("file|-"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Only the records from this time on (default: the run's first record): %1.").arg(QLatin1String(kTimeHelp)),
        QStringLiteral("time"));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Only the records up to this time, included (default: the "
                                                     "run's last record); as --from."),
                                      QStringLiteral("time"));
    const QCommandLineOption srOption(QStringLiteral("sr"),
                                      QStringLiteral("Write a sigrok session file for PulseView and sigrok-cli (a "
                                                     "file is replaced; - is standard output): one analog channel "
                                                     "a meter channel, at the run's own pace, NaN where no record "
                                                     "was taken."),
                                      QStringLiteral("file|-"));
    parser.addOptions({csvOption, jsonOption, srOption, fromOption, toOption});
    parser.addPositionalArgument(QStringLiteral("RUN"), QLatin1String(kRunHelp));
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("Writes the records of a run kept in the run journal, or of an interval of it, "
                                 "to CSV, JSON lines and/or a sigrok session. %1").arg(QLatin1String(kRunHelp)),
                  arguments))
        return *done;
    QString word;
    if (const std::optional<int> bad = runArgument(parser, command, word))
        return *bad;
    if (const std::optional<int> bad = checkTimes(parser, fromOption, toOption, command))
        return *bad;
    const QString csvName = parser.value(csvOption);
    const QString jsonName = parser.value(jsonOption);
    const QString srName = parser.value(srOption);
    int toStdout = 0;
    for (const QCommandLineOption *o : {&csvOption, &jsonOption, &srOption}) {
        if (parser.isSet(*o) && parser.value(*o).isEmpty()) {
            error(QLatin1String(command), QCoreApplication::translate("Cli", "--%1 的文件名为空").arg(o->names().first()));
            return Usage;
        }
        toStdout += parser.value(*o) == QLatin1String("-");
    }
    if (toStdout > 1) {
        error(QLatin1String(command), QCoreApplication::translate("Cli", "只有一个导出能写到标准输出（-）"));
        return Usage;
    }
    if (csvName.isEmpty() && jsonName.isEmpty() && srName.isEmpty()) {
        error(QLatin1String(command), QCoreApplication::translate("Cli", "没有导出目标：请给出 --csv、--jsonl 或 --sr 的文件"));
        return Usage;
    }
    RunJournal journal;
    if (!openJournal(journal, command))
        return Failed;
    if (const std::optional<qint64> benchId = benchWord(word)) {
        // One file for the bench's meters: the JSON lines say whose each
        // record is.
        if (!csvName.isEmpty() || !srName.isEmpty() || jsonName.isEmpty()) {
            error(QLatin1String(command), QStringLiteral("a bench is exported with --jsonl; export each of its runs "
                                                         "for CSV or sigrok"));
            return Usage;
        }
        JournalBench bench;
        if (const std::optional<int> missing = findBench(journal, command, *benchId, bench))
            return *missing;
        std::optional<qint64> fromWall, toWall;
        if (const std::optional<int> bad =
                benchInterval(journal, bench, parser, fromOption, toOption, command, fromWall, toWall))
            return *bad;
        OutputFile file(jsonName, OutputFile::Mode::Whole, RegularFile::Accept::Streams);
        QString reason;
        if (!file.open(&reason) || !file.write(Bench::jsonLinesOf(journal, bench, fromWall, toWall), &reason)
            || !file.commit(&reason)) {
            if (file.readerGone() && jsonName == QLatin1String("-"))
                return Ok;
            error(QLatin1String(command), QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(outputName(jsonName), reason));
            return CannotWrite;
        }
        return Ok;
    }
    JournalRun run;
    if (const std::optional<int> missing = findRun(journal, command, word, run))
        return *missing;
    ReadingLog log;
    if (!journal.load(run.id, log)) {
        error(QLatin1String(command), QStringLiteral("cannot read run %1 from the run journal (%2)")
                                          .arg(run.id)
                                          .arg(journal.detail()));
        return Failed;
    }
    if ((parser.isSet(fromOption) || parser.isSet(toOption)) && log.size() > 0) {
        // The records of the interval, both ends included, as the same
        // writers write them.
        qint64 fromRun = 0, toRun = 0;
        if (const std::optional<int> bad = intervalOnTimeline(journal, run, parser, fromOption, toOption, command,
                                                              fromRun, toRun))
            return *bad;
        if (const std::optional<int> bad = checkWithinRun(run, parser, fromOption, toOption, command, log.runMs(0),
                                                          log.runMs(log.size() - 1), fromRun, toRun))
            return *bad;
        log = RunInterval::slice(log, fromRun, toRun);
    }
    // Files, pipes that a program reads, devices, standard output for "-";
    // one whose reader went away ends the export quietly.
    QString reason;
    saveDataDeal csv(log, run.model);
    if (!csvName.isEmpty() && !csv.writeCsv(csvName, &reason, RegularFile::Accept::Streams)) {
        if (csv.readerGone() && csvName == QLatin1String("-"))
            return Ok;
        error(QLatin1String(command), QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(outputName(csvName), reason));
        return CannotWrite;
    }
    bool readerGone = false;
    if (!jsonName.isEmpty()
        && !JsonLines::writeFile(log, jsonName, &reason, RegularFile::Accept::Streams, &readerGone)) {
        if (readerGone && jsonName == QLatin1String("-"))
            return Ok;
        error(QLatin1String(command), QCoreApplication::translate("Cli", "无法写入 %1：%2")
                                          .arg(outputName(jsonName), reason));
        return CannotWrite;
    }
    if (!srName.isEmpty()) {
        const QByteArray bytes = SigrokSession::ofRun(log, run.model, &reason);
        if (bytes.isEmpty() || !OutputFile::writeDocument(srName, bytes, &reason)) {
            error(QLatin1String(command), QCoreApplication::translate("Cli", "无法写入 %1：%2")
                                              .arg(outputName(srName), reason));
            return CannotWrite;
        }
    }
    return Ok;
}

namespace {

// `stats bN`: each member's summary and the figures of the in/out pairs,
// over the times --from and --to name.
int benchStats(RunJournal &journal, qint64 id, const QCommandLineParser &parser, const QCommandLineOption &fromOption,
               const QCommandLineOption &toOption, const QCommandLineOption &jsonOption)
{
    const char command[] = "stats";
    JournalBench bench;
    if (const std::optional<int> missing = findBench(journal, command, id, bench))
        return *missing;
    std::optional<qint64> fromWall, toWall;
    if (const std::optional<int> bad = benchInterval(journal, bench, parser, fromOption, toOption, command, fromWall, toWall))
        return *bad;
    const Bench::Summary summary = Bench::summaryOf(journal, bench, fromWall, toWall);
    if (parser.isSet(jsonOption))
        return writeRead(journal, command, Bench::summaryObject(bench, summary));
    QByteArray out;
    auto line = [&](const QString &label, const QString &value) {
        out += QStringLiteral("%1 %2\n").arg(label, -18).arg(value).toUtf8();
    };
    line(QStringLiteral("bench"), QStringLiteral("b%1%2").arg(bench.id).arg(bench.name.isEmpty() ? QString() : QStringLiteral("  ") + oneLine(bench.name)));
    for (const Bench::MemberFigures &m : summary.members) {
        const IntervalStats &s = m.stats;
        line(QStringLiteral("%1 (run %2)").arg(oneLine(m.member.role)).arg(m.member.run),
             QStringLiteral("%1  %2 records  %3 Ah  %4 Wh  mean %5 V  %6 A  %7 W")
                 .arg(m.member.serial)
                 .arg(s.records)
                 .arg(s.charge_ah, 0, 'f', 6)
                 .arg(s.energy_wh, 0, 'f', 6)
                 .arg(s.vbus.mean, 0, 'f', 6)
                 .arg(s.ibus.mean, 0, 'f', 6)
                 .arg(s.power.mean, 0, 'f', 6));
    }
    if (summary.inOut) {
        const Bench::Figures &f = summary.figures;
        line(QStringLiteral("energy in"), QStringLiteral("%1 Wh").arg(f.energyInWh, 0, 'f', 6));
        line(QStringLiteral("energy out"), QStringLiteral("%1 Wh").arg(f.energyOutWh, 0, 'f', 6));
        line(QStringLiteral("efficiency"), QStringLiteral("%1 % (energy)").arg(f.energyEfficiencyPct, 0, 'f', 3));
        line(QStringLiteral("loss"), f.pairs == 0 ? QStringLiteral("-")
                                                   : QStringLiteral("mean %1 W  min %2 W  max %3 W")
                                                         .arg(f.lossMeanW, 0, 'f', 6)
                                                         .arg(f.lossMinW, 0, 'f', 6)
                                                         .arg(f.lossMaxW, 0, 'f', 6));
        line(QStringLiteral("pairs"), QStringLiteral("%1 (%2 gaps)").arg(f.pairs).arg(f.gaps));
    }
    return writeRead(journal, command, out);
}

} // namespace

int runStats(const QStringList &arguments)
{
    const char command[] = "stats";
    QCommandLineParser parser;
    const QCommandLineOption fromOption(QStringLiteral("from"),
                                        QStringLiteral("Start of the interval (default: the run's first record): a "
                                                       "local date-time in ISO 8601 (2026-12-08T13:05:09, an offset "
                                                       "such as +08:00 may follow) or seconds from the run's start "
                                                       "(90, 1.5)."),
                                        QStringLiteral("time"));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("End of the interval, included (default: the run's last "
                                                     "record); as --from."),
                                      QStringLiteral("time"));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("One JSON object: from, to (the interval's first and last record, local ISO 8601 with "
                       "milliseconds and offset), duration_s, records, charge_ah, energy_wh, meter_cap_ah, "
                       "meter_ele_wh, and vbus, ibus, power each as {min, max, mean}."));
    parser.addOptions({fromOption, toOption, jsonOption});
    parser.addPositionalArgument(QStringLiteral("RUN"), QLatin1String(kRunHelp));
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("The summary of a run kept in the run journal, or of an interval of it: "
                                 "charge and energy (trapezoid sums over the records, gaps over 2.5 s left out), "
                                 "the meter's own CAP and ELE over it, and the minimum, maximum and time-weighted "
                                 "mean of VBUS, IBUS and POWER. %1 A bench (bN, as runs lists it) gives each "
                                 "meter's summary and, with an in and an out meter, the energy in and out, the "
                                 "energy efficiency, the mean, lowest and highest loss of their pairs, and the "
                                 "pairs and gaps; --from and --to are then times of the in meter's run.")
                      .arg(QLatin1String(kRunHelp)),
                  arguments))
        return *done;
    QString word;
    if (const std::optional<int> bad = runArgument(parser, command, word))
        return *bad;
    // The times are checked before the journal is opened.
    if (const std::optional<int> bad = checkTimes(parser, fromOption, toOption, command))
        return *bad;
    RunJournal journal;
    if (!openJournal(journal, command))
        return Failed;
    if (const std::optional<qint64> benchId = benchWord(word))
        return benchStats(journal, *benchId, parser, fromOption, toOption, jsonOption);
    JournalRun run;
    if (const std::optional<int> missing = findRun(journal, command, word, run))
        return *missing;
    const RunInterval interval(journal, run.id);
    qint64 fromRun = 0, toRun = 0;
    if (interval.hasRecords()) {
        if (const std::optional<int> bad =
                intervalOnTimeline(journal, run, parser, fromOption, toOption, command, fromRun, toRun))
            return *bad;
    }
    auto given = [&](const QCommandLineOption &o, qint64 at) {
        return parser.isSet(o) ? std::optional<qint64>(at) : std::nullopt;
    };
    const RunInterval::Summary summary = interval.summary(given(fromOption, fromRun), given(toOption, toRun), run.startMs);
    const IntervalStats &s = summary.stats;
    const qint64 fromWall = summary.fromWall, toWall = summary.toWall;
    QByteArray out;
    if (parser.isSet(jsonOption)) {
        out = JsonLines::statsObject(s, fromWall, toWall);
    } else {
        auto line = [&](const char *label, const QString &value) {
            out += QStringLiteral("%1 %2\n").arg(QLatin1String(label), -12).arg(value).toUtf8();
        };
        line("from", QString::fromLatin1(JsonLines::isoTime(fromWall)));
        line("to", QString::fromLatin1(JsonLines::isoTime(toWall)));
        line("duration", QStringLiteral("%1 s (%2)").arg(s.duration_s, 0, 'f', 3).arg(TimeText::runDuration(s.duration_s)));
        line("records", QString::number(s.records));
        line("charge", QStringLiteral("%1 Ah").arg(s.charge_ah, 0, 'f', 6));
        line("energy", QStringLiteral("%1 Wh").arg(s.energy_wh, 0, 'f', 6));
        line("meter CAP", QStringLiteral("%1 Ah").arg(s.meter_cap_ah, 0, 'f', 3));
        line("meter ELE", QStringLiteral("%1 Wh").arg(s.meter_ele_wh, 0, 'f', 3));
        const std::tuple<const char *, const ChannelStats *, const char *> channels[] = {
            {"VBUS", &s.vbus, "V"}, {"IBUS", &s.ibus, "A"}, {"POWER", &s.power, "W"}};
        for (const auto &c : channels) {
            const ChannelStats &v = *std::get<1>(c);
            line(std::get<0>(c), s.records == 0 ? QStringLiteral("-")
                                                : QStringLiteral("min %1  max %2  mean %3 %4")
                                                      .arg(double(v.min), 0, 'f', 6)
                                                      .arg(double(v.max), 0, 'f', 6)
                                                      .arg(v.mean, 0, 'f', 6)
                                                      .arg(QLatin1String(std::get<2>(c))));
        }
    }
    return writeRead(journal, command, out);
}

int runMark(const QStringList &arguments)
{
    // The moment the command was given is the mark's.
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const char command[] = "mark";
    QCommandLineParser parser;
    const QCommandLineOption runOption(QStringLiteral("run"),
                                       QStringLiteral("The run to mark: its id, or 'last' (default: the newest run "
                                                      "being recorded, by the window or by record)."),
                                       QStringLiteral("id"));
    const QCommandLineOption atOption(
        QStringLiteral("at"),
        QStringLiteral("The mark's time (default: now; needed for a run that has ended): %1.").arg(QLatin1String(kTimeHelp)),
        QStringLiteral("time"));
    parser.addOptions({runOption, atOption});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The mark's name."));
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("Marks a moment of a run in the run journal with a name: by default now, in the "
                                 "newest run being recorded. The window shows the mark on the run's chart."),
                  arguments))
        return *done;
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        error(QLatin1String(command), args.isEmpty() ? QCoreApplication::translate("Cli", "请给出标记的名称")
                                                     : QCoreApplication::translate("Cli", "多余的参数“%1”").arg(args[1]));
        return Usage;
    }
    if (const std::optional<int> bad = checkTimes(parser, atOption, atOption, command))
        return *bad;
    const QString word = parser.value(runOption);
    if (parser.isSet(runOption)) {
        bool ok = false;
        const qint64 id = word.toLongLong(&ok);
        if (word != QLatin1String("last") && (!ok || id <= 0 || word.startsWith(QLatin1Char('+')))) {
            error(QLatin1String(command),
                  QCoreApplication::translate("Cli", "无效的运行“%1”：应为运行的编号（见 %2 runs）或 last").arg(word, programName()));
            return Usage;
        }
    }
    // Written beside a run being recorded: the recording program commits a
    // record a second, so waiting a little for the database is enough.
    RunJournal journal;
    journal.setBusyTimeout(2000);
    if (!journal.open(RunJournal::Mode::Write) || journal.status() == RunJournal::Status::MovedAside) {
        if (journal.status() != RunJournal::Status::MovedAside) {
            error(QLatin1String(command), QStringLiteral("cannot write the run journal %1 (%2)")
                                              .arg(QDir::toNativeSeparators(journal.path()),
                                                   journal.detail().isEmpty() ? journal.message() : journal.detail()));
            return Failed;
        }
    }
    JournalRun run;
    if (parser.isSet(runOption)) {
        if (const std::optional<int> missing = findRun(journal, command, word, run))
            return *missing;
    } else {
        const qint64 live = journal.newestRecording();
        if (live == 0) {
            error(QLatin1String(command),
                  QCoreApplication::translate("Cli", "没有正在记录的运行：请用 --run 指定运行（见 %1 runs）").arg(programName()));
            return Failed;
        }
        if (const std::optional<int> missing = findRun(journal, command, QString::number(live), run))
            return *missing;
    }
    const QString name = args[0];
    qint64 markId = 0, atMs = 0;
    if (parser.isSet(atOption)) {
        qint64 t0 = 0, firstWall = 0, at = 0, same = 0;
        if (!journal.timeline(run.id, t0, firstWall)) {
            error(QLatin1String(command), QCoreApplication::translate("Cli", "运行 %1 还没有记录").arg(run.id));
            return Failed;
        }
        if (const std::optional<int> bad =
                intervalOnTimeline(journal, run, parser, atOption, atOption, command, at, same))
            return *bad;
        qint64 last = t0, lastWall = 0;
        journal.recordTime(run.id, qMax(0, run.records - 1), last, lastWall);
        if (const std::optional<int> bad =
                checkWithinRun(run, parser, atOption, atOption, command, t0, last, at, same))
            return *bad;
        atMs = at - t0;
        markId = journal.addMark(run.id, atMs, nowMs, name);
    } else if (!journal.isRecording(run.id)) {
        error(QLatin1String(command),
              QCoreApplication::translate("Cli", "运行 %1 已结束：请用 --at 给出标记的时间").arg(run.id));
        return Usage;
    } else {
        markId = journal.addMarkAtWall(run.id, nowMs, name, &atMs);
    }
    if (markId <= 0) {
        error(QLatin1String(command), QStringLiteral("cannot write the mark into the run journal %1 (%2)")
                                          .arg(QDir::toNativeSeparators(journal.path()),
                                               journal.detail().isEmpty() ? journal.message() : journal.detail()));
        return Failed;
    }
    return writeOut(command, QStringLiteral("mark %1 in run %2 at %3\n")
                                 .arg(markId)
                                 .arg(run.id)
                                 .arg(TimeText::durationMs(atMs))
                                 .toUtf8());
}

int runMarks(const QStringList &arguments)
{
    const char command[] = "marks";
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("A JSON array of the marks, each an object: id, run, at_s (seconds from the run's first "
                       "record), time (local ISO 8601 on the run's clock), wall_ms (when it was made), name."));
    parser.addOption(jsonOption);
    parser.addPositionalArgument(QStringLiteral("RUN"), QLatin1String(kRunHelp));
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("Lists the marks of a run kept in the run journal in the order of their times, one "
                                 "a line: id, time from the run's start, local time, name. %1")
                      .arg(QLatin1String(kRunHelp)),
                  arguments))
        return *done;
    QString word;
    if (const std::optional<int> bad = runArgument(parser, command, word))
        return *bad;
    RunJournal journal;
    if (!openJournal(journal, command))
        return Failed;
    // The run, or a bench's runs with their roles.
    std::vector<std::pair<JournalRun, QString>> runs;
    if (const std::optional<qint64> benchId = benchWord(word)) {
        JournalBench bench;
        if (const std::optional<int> missing = findBench(journal, command, *benchId, bench))
            return *missing;
        for (const JournalBench::Member &member : bench.members) {
            JournalRun run;
            if (const std::optional<int> missing = findRun(journal, command, QString::number(member.run), run))
                return *missing;
            runs.emplace_back(run, member.role);
        }
    } else {
        JournalRun run;
        if (const std::optional<int> missing = findRun(journal, command, word, run))
            return *missing;
        runs.emplace_back(run, QString());
    }
    // A mark's local time: where its run's clock stood at it (the offset of
    // the first record), or its start before any record.
    struct Marked {
        RunMark mark;
        qint64 wall;
        QString role;
    };
    std::vector<Marked> marks;
    for (const auto &r : runs) {
        qint64 t0 = 0, firstWall = 0;
        const bool timed = journal.timeline(r.first.id, t0, firstWall);
        for (const RunMark &m : journal.marks(r.first.id))
            marks.push_back({m, (timed ? firstWall : r.first.startMs) + m.atMs, r.second});
    }
    std::stable_sort(marks.begin(), marks.end(), [](const Marked &a, const Marked &b) { return a.wall < b.wall; });
    QByteArray out;
    if (parser.isSet(jsonOption)) {
        out += '[';
        for (size_t k = 0; k < marks.size(); ++k) {
            out += k ? ",\n" : "\n";
            out += JsonLines::markObject(marks[k].mark, marks[k].wall);
        }
        out += marks.empty() ? "]\n" : "\n]\n";
    } else {
        for (const Marked &m : marks) {
            out += QStringLiteral("%1%2  %3  %4  %5\n")
                       .arg(m.role.isEmpty() ? QString() : oneLine(m.role) + QStringLiteral("  "))
                       .arg(m.mark.id, 4)
                       .arg(TimeText::durationMs(m.mark.atMs), 12)
                       .arg(TimeText::localDateTime(m.wall), oneLine(m.mark.name))
                       .toUtf8();
        }
    }
    return writeRead(journal, command, out);
}

int runReport(const QStringList &arguments)
{
    const char command[] = "report";
    QCommandLineParser parser;
    const QCommandLineOption pdfOption(QStringLiteral("pdf"),
                                       QStringLiteral("Write the report as PDF (numbered A4 pages) to FILE."),
                                       QStringLiteral("file"));
    const QCommandLineOption htmlOption(QStringLiteral("html"),
                                        QStringLiteral("Write the report as one HTML page (its charts inside) to FILE."),
                                        QStringLiteral("file"));
    parser.addOptions({pdfOption, htmlOption});
    parser.addPositionalArgument(QStringLiteral("RUN"), QLatin1String(kRunHelp));
    if (const std::optional<int> done =
            parse(parser, command,
                  QStringLiteral("The report of a run kept in the run journal: its name, meter, start and end, how "
                                 "it ended, its fields, notes and marks, the summary (as stats gives it) and charts "
                                 "of VBUS, IBUS and POWER drawn from its records. A file is written under a hidden "
                                 "name and renamed when whole (a symbolic link is followed); a named pipe that a "
                                 "program reads or a device is written in place, and - is standard output. %1").arg(QLatin1String(kRunHelp)),
                  arguments))
        return *done;
    QString word;
    if (const std::optional<int> bad = runArgument(parser, command, word))
        return *bad;
    const QString pdf = parser.value(pdfOption), html = parser.value(htmlOption);
    if ((parser.isSet(pdfOption) && pdf.isEmpty()) || (parser.isSet(htmlOption) && html.isEmpty())
        || (pdf.isEmpty() && html.isEmpty())) {
        error(QLatin1String(command), QCoreApplication::translate("Cli", "没有报告文件：请给出 --pdf FILE 和/或 --html FILE"));
        return Usage;
    }
    if (!reportPainter().writeRun || !reportPainter().writeBench) {
        error(QLatin1String(command), QStringLiteral("this build cannot paint reports"));
        return Failed;
    }
    RunJournal journal;
    if (!openJournal(journal, command))
        return Failed;
    // A bench's report, or a run's.
    qint64 id = 0;
    const std::optional<qint64> benchId = benchWord(word);
    if (benchId) {
        JournalBench bench;
        if (const std::optional<int> missing = findBench(journal, command, *benchId, bench))
            return *missing;
        id = bench.id;
    } else {
        JournalRun run;
        if (const std::optional<int> bad = findRun(journal, command, word, run))
            return *bad;
        id = run.id;
    }
    for (const auto &out : {std::make_pair(pdf, false), std::make_pair(html, true)}) {
        if (out.first.isEmpty())
            continue;
        QString reason;
        if (!(benchId ? reportPainter().writeBench : reportPainter().writeRun)(journal, id, out.first, out.second, &reason)) {
            error(QLatin1String(command),
                  QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(out.first, reason));
            return CannotWrite;
        }
    }
    return Ok;
}

} // namespace Cli
