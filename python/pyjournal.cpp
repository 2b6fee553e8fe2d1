#include "pyjournal.h"

#include "pyerror.h"

#include "recording/jsonlines.h"
#include "recording/runinterval.h"
#include "recording/runjournal.h"

#include <QCoreApplication>
#include <QDir>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

namespace py = pybind11;

namespace {

py::object fromJson(const QByteArray &text)
{
    return py::module_::import("json").attr("loads")(py::bytes(text.constData(), size_t(text.size())));
}

// The journal opened for reading, shared by its runs; one call at a time.
struct Journal {
    RunJournal journal;
    std::mutex mutex;
};

// A record of a run's array: the time, seconds from the first record, then
// the ten values in JSON lines' order.
struct Row {
    qint64 time;
    double t;
    float values[10];
};
static_assert(sizeof(Row) == 56, "the array's rows are packed");

py::dtype rowType()
{
    py::list fields;
    fields.append(py::make_tuple("time", "<M8[ms]"));
    fields.append(py::make_tuple("t", "<f8"));
    for (const JsonLines::Field &f : JsonLines::kFields)
        fields.append(py::make_tuple(f.key, "<f4"));
    return py::dtype::from_args(fields);
}

// A moment given from Python: seconds from the run's first record (a
// number), a datetime, or a text as the commands take it.
std::optional<RunMoment> moment(const py::object &value, const char *name)
{
    if (value.is_none())
        return std::nullopt;
    if (py::isinstance<py::float_>(value) || py::isinstance<py::int_>(value)) {
        const double s = value.cast<double>();
        if (!std::isfinite(s) || std::fabs(s) > 1e12)
            PyError::raise(QStringLiteral("%1: %2 is not a time").arg(QLatin1String(name)).arg(s));
        return RunMoment{false, qint64(std::llround(s * 1000.0))};
    }
    if (py::hasattr(value, "timestamp"))
        return RunMoment{true, qint64(std::llround(value.attr("timestamp")().cast<double>() * 1000.0))};
    const QString text = QString::fromStdString(py::str(value).cast<std::string>());
    if (const std::optional<RunMoment> m = RunMoment::parse(text))
        return m;
    PyError::raise(RunMoment::badWords(text, QLatin1String(name)));
}

class Run
{
public:
    Run(std::shared_ptr<Journal> journal, const JournalRun &run) : m_journal(std::move(journal)), m_run(run) {}

    qint64 id() const { return m_run.id; }
    py::object info() const { return fromJson(JsonLines::runObject(m_run)); }

    // An interval as given from Python: its ends as moments, and as typed.
    struct Asked {
        std::optional<RunMoment> ends[2];
        QString typed[2];
        Asked(const py::object &frm, const py::object &to)
        {
            const std::pair<const char *, const py::object *> given[] = {{"frm", &frm}, {"to", &to}};
            for (int k = 0; k < 2; ++k) {
                ends[k] = moment(*given[k].second, given[k].first);
                typed[k] = QString::fromStdString(py::str(*given[k].second).cast<std::string>());
            }
        }
    };
    // The interval's ends on the run's timeline (none for the run's own);
    // what is wrong with them in `fault`.
    struct Placed {
        std::optional<qint64> ends[2];
        QString fault;
    };
    Placed place(const RunInterval &interval, const Asked &asked) const
    {
        Placed placed;
        for (int k = 0; k < 2 && interval.hasRecords(); ++k) {
            if (!asked.ends[k])
                continue;
            qint64 at = 0;
            std::vector<qint64> times;
            if (!interval.place(*asked.ends[k], k == 1, &at, &times)) {
                placed.fault = interval.ambiguousWords(asked.typed[k], QLatin1String(k ? "to" : "frm"), times);
                return placed;
            }
            placed.ends[k] = at;
        }
        return placed;
    }

    py::array records(const py::object &frm, const py::object &to) const
    {
        const Asked asked(frm, to);
        ReadingLog log;
        Placed placed;
        bool loaded = false;
        {
            // The journal's lock is taken without the GIL: a thread that
            // holds the lock never waits for one that holds the GIL.
            py::gil_scoped_release unlocked;
            const std::lock_guard<std::mutex> lock(m_journal->mutex);
            const RunInterval interval(m_journal->journal, m_run.id);
            placed = place(interval, asked);
            loaded = placed.fault.isEmpty() && m_journal->journal.load(m_run.id, log);
            if (!loaded && placed.fault.isEmpty())
                placed.fault = QStringLiteral("cannot read run %1 from the run journal (%2)")
                                   .arg(m_run.id)
                                   .arg(m_journal->journal.detail());
        }
        if (!placed.fault.isEmpty())
            PyError::raise(placed.fault);
        if ((placed.ends[0] || placed.ends[1]) && log.size() > 0)
            log = RunInterval::slice(log, placed.ends[0].value_or(std::numeric_limits<qint64>::min() / 2),
                                     placed.ends[1].value_or(std::numeric_limits<qint64>::max() / 2));
        py::array rows(rowType(), std::vector<py::ssize_t>{py::ssize_t(log.size())});
        Row *out = static_cast<Row *>(rows.mutable_data());
        const qint64 t0 = log.size() > 0 ? log.runMs(0) : 0;
        py::gil_scoped_release unlocked;
        for (int i = 0; i < log.size(); ++i) {
            out[i].time = log.timeMs(i);
            out[i].t = double(log.runMs(i) - t0) / 1000.0;
            for (int c = 0; c < 10; ++c)
                out[i].values[c] = log.value(JsonLines::kFields[c].column, i);
        }
        return rows;
    }

    py::object stats(const py::object &frm, const py::object &to) const
    {
        const Asked asked(frm, to);
        Placed placed;
        RunInterval::Summary summary;
        {
            py::gil_scoped_release unlocked;
            const std::lock_guard<std::mutex> lock(m_journal->mutex);
            const RunInterval interval(m_journal->journal, m_run.id);
            placed = place(interval, asked);
            if (placed.fault.isEmpty())
                summary = interval.summary(placed.ends[0], placed.ends[1], m_run.startMs);
        }
        if (!placed.fault.isEmpty())
            PyError::raise(placed.fault);
        return fromJson(JsonLines::statsObject(summary.stats, summary.fromWall, summary.toWall));
    }

    py::list marks() const
    {
        std::vector<QByteArray> objects;
        {
            py::gil_scoped_release unlocked;
            const std::lock_guard<std::mutex> lock(m_journal->mutex);
            qint64 t0 = 0, firstWall = 0;
            const bool timed = m_journal->journal.timeline(m_run.id, t0, firstWall);
            for (const RunMark &m : m_journal->journal.marks(m_run.id))
                objects.push_back(JsonLines::markObject(m, (timed ? firstWall : m_run.startMs) + m.atMs));
        }
        py::list out;
        for (const QByteArray &o : objects)
            out.append(fromJson(o));
        return out;
    }

private:
    std::shared_ptr<Journal> m_journal;
    JournalRun m_run;
};

std::shared_ptr<Journal> openJournal(const std::optional<std::string> &path)
{
    auto j = std::make_shared<Journal>();
    const bool opened = path ? j->journal.open(QString::fromStdString(*path), RunJournal::Mode::Read)
                             : j->journal.open(RunJournal::Mode::Read);
    if (!opened)
        PyError::raise(j->journal.message());
    return j;
}

std::vector<Run> runsOf(const std::shared_ptr<Journal> &j)
{
    std::vector<JournalRun> listed;
    {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> lock(j->mutex);
        listed = j->journal.listedRuns();
    }
    std::vector<Run> runs;
    for (const JournalRun &r : listed)
        runs.emplace_back(j, r);
    return runs;
}

} // namespace

void bindJournal(py::module_ &m)
{
    py::class_<Journal, std::shared_ptr<Journal>>(m, "Journal",
                                                  "The run journal, opened for reading: nothing is written, moved or "
                                                  "deleted. path: the program's own (the window's and the command "
                                                  "line's) when not given.")
        .def(py::init(&openJournal), py::arg("path") = py::none())
        .def_property_readonly("path", [](Journal &j) { return QDir::toNativeSeparators(j.journal.path()).toStdString(); })
        .def("runs", &runsOf, "The runs, newest first.")
        .def(
            "run",
            [](const std::shared_ptr<Journal> &j, const py::object &which) {
                const bool last = py::isinstance<py::str>(which) && which.cast<std::string>() == "last";
                const qint64 id = last ? 0 : which.cast<qint64>();
                for (const Run &r : runsOf(j)) {
                    if (last || r.id() == id)
                        return r;
                }
                PyError::raise(last ? QCoreApplication::translate("Cli", "运行记录数据库 %1 中没有运行").arg(j->journal.path())
                          : QCoreApplication::translate("Cli", "运行记录数据库 %2 中没有运行 %1").arg(id).arg(j->journal.path()));
            },
            py::arg("which"), "The run with this id, or 'last' for the newest.");

    py::class_<Run>(m, "Run", "A run the journal keeps.")
        .def_property_readonly("id", &Run::id)
        .def_property_readonly("info", &Run::info,
                               "Its row in the journal as `ombrel runs --json` gives it: name, meter, start and end, "
                               "end reason, fields (notes, dut, source, cable, ambient_c) and summary figures.")
        .def("records", &Run::records, py::arg("frm") = py::none(), py::arg("to") = py::none(),
             "Its records from frm to to (both included; the whole run by default) as a NumPy structured array: "
             "time (datetime64[ms], the wall clock), t (seconds from the run's first record), then vbus (V), ibus "
             "(A), power (W), cap (Ah), ele (Wh), pd, pm, cc1, cc2 (V) and cpu_temp (°C). frm and to: seconds from "
             "the run's first record, a datetime, or a local ISO 8601 text.")
        .def("stats", &Run::stats, py::arg("frm") = py::none(), py::arg("to") = py::none(),
             "The summary of the run or an interval of it, as `ombrel stats --json` gives it.")
        .def("marks", &Run::marks, "Its marks in the order of their times, as `ombrel marks --json` gives them.")
        .def(
            "to_pandas",
            [](const Run &run, const py::object &frm, const py::object &to) {
                // pandas only when it is installed: ImportError otherwise.
                py::object pandas = py::module_::import("pandas");
                return pandas.attr("DataFrame")(run.records(frm, to)).attr("set_index")("time");
            },
            py::arg("frm") = py::none(), py::arg("to") = py::none(),
            "records() as a pandas DataFrame indexed by time (ImportError without pandas).");
}
