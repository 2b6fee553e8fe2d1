#include "pyrecord.h"

#include "pyerror.h"
#include "qthost.h"

#include "outputs/outputsettings.h"
#include "outputs/recordoutputs.h"
#include "recording/jsonlines.h"
#include "recording/recordedrun.h"
#include "recording/runinterval.h"
#include "recording/runjournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace py = pybind11;

namespace {

// What the Qt thread tells the script of a run.
struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool failed = false;
    QString reason;
    qint64 storedId = 0;
    QStringList said;
    QPointer<RecordedRun> run;   // on the Qt thread only
};

class Recording
{
public:
    explicit Recording(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    bool running() const
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        return !m_state->done;
    }
    qint64 id() const
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->storedId;
    }
    std::vector<std::string> said() const
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        std::vector<std::string> out;
        for (const QString &s : m_state->said)
            out.push_back(s.toStdString());
        return out;
    }

    void stop()
    {
        std::shared_ptr<State> state = m_state;
        py::gil_scoped_release unlocked;
        QtHost::call([state] {
            if (state->run)
                state->run->finish(QLatin1String(RunJournal::kStopped));
        });
    }

    // Waits for the end, at most `timeout` seconds; true when it ended.
    // Ctrl+C stops the run, waits for its end, and goes on as
    // KeyboardInterrupt.
    bool wait(std::optional<double> timeout)
    {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(timeout.value_or(1e9)));
        for (;;) {
            {
                py::gil_scoped_release unlocked;
                std::unique_lock<std::mutex> lock(m_state->mutex);
                m_state->changed.wait_until(lock, std::min(end, Clock::now() + std::chrono::milliseconds(100)),
                                            [&] { return m_state->done; });
                if (m_state->done)
                    return true;
            }
            if (PyErr_CheckSignals() != 0) {
                py::error_already_set interrupted;
                stop();
                {
                    py::gil_scoped_release unlocked;
                    std::unique_lock<std::mutex> lock(m_state->mutex);
                    m_state->changed.wait(lock, [&] { return m_state->done; });
                }
                throw interrupted;
            }
            if (Clock::now() >= end)
                return false;
        }
    }

    void mark(const std::string &text)
    {
        std::shared_ptr<State> state = m_state;
        const QString name = QString::fromStdString(text);
        bool marked = false;
        {
            py::gil_scoped_release unlocked;
            QtHost::call([&] {
                if (!state->run || !state->run->run().underWay())
                    return;
                RunSession &session = state->run->session();
                const qint64 id = session.storedRunId();
                marked = id != 0
                         && session.journal().addMarkAtWall(id, QDateTime::currentMSecsSinceEpoch(), name) != 0;
            });
        }
        if (!marked)
            PyError::raise(QCoreApplication::translate("Python", "运行 %1 已结束：不能再标记").arg(id()));
    }

    // The run's summary as `ombrel stats RUN --json` gives it, once it has
    // ended.
    py::object summary()
    {
        wait(std::nullopt);
        QByteArray text;
        QString fault;
        {
            py::gil_scoped_release unlocked;
            RunJournal journal;
            if (!journal.open(RunJournal::Mode::Read)) {
                fault = journal.message();
            } else {
                for (const JournalRun &r : journal.runs()) {
                    if (r.id != m_state->storedId)
                        continue;
                    const RunInterval::Summary s = RunInterval(journal, r.id).summary(std::nullopt, std::nullopt, r.startMs);
                    text = JsonLines::statsObject(s.stats, s.fromWall, s.toWall);
                }
            }
        }
        if (text.isEmpty())
            PyError::raise(fault.isEmpty() ? QCoreApplication::translate("Cli", "运行的结束无法写入运行记录数据库：它将显示为中断的运行")
                                 : fault);
        py::dict out = py::module_::import("json").attr("loads")(py::bytes(text.constData(), size_t(text.size())));
        out["run"] = m_state->storedId;
        out["end_reason"] = m_state->reason.toStdString();
        return std::move(out);
    }

private:
    std::shared_ptr<State> m_state;
};

// A keyword's value as the command line's option would have it.
QString optionText(const py::handle &value)
{
    if (py::isinstance<py::tuple>(value)) {
        QStringList parts;
        for (const py::handle &part : value.cast<py::tuple>())
            parts << QString::fromStdString(py::str(part).cast<std::string>());
        return parts.join(QLatin1Char(':'));
    }
    return QString::fromStdString(py::str(value).cast<std::string>());
}

// A keyword named as Python names it: the option's name with _ for -.
QString keyword(const char *option)
{
    return QString::fromLatin1(option).replace(QLatin1Char('-'), QLatin1Char('_'));
}

Recording start(const std::string &serial, const py::kwargs &options)
{
    RecordedRun::Request request;
    request.meter.serial = QString::fromStdString(serial);
    // The outputs' keywords, read below as `ombrel record` reads its options.
    std::map<const OutputField *, QString> outputs;
    for (const auto &[key, value] : options) {
        const QString name = QString::fromStdString(py::str(key).cast<std::string>());
        if (value.is_none())
            continue;
        const QString text = optionText(value);
        bool known = false;
        for (const StopConditions::Option &o : StopConditions::options()) {
            if (keyword(o.name) != name)
                continue;
            known = true;
            QString reason;
            if (!StopConditions::parse(o.kind, text, &request.conditions[o.kind], &reason))
                PyError::raise(QStringLiteral("bad value '%1' for %2: %3").arg(text, name, reason));
        }
        for (const OutputField &f : outputFields()) {
            if (keyword(f.option) != name || QByteArray(f.option).startsWith("no-"))
                continue;
            known = true;
            // A switch is a bool: mqtt_discovery=False is --no-mqtt-discovery.
            if (f.value == OutputField::Value::Switch)
                outputs[value.cast<bool>() ? &f : &outputField(QByteArray("no-").append(f.option).constData())] = QString();
            else
                outputs[&f] = text;
        }
        if (known)
            continue;
        if (name == QLatin1String("name"))
            request.name = text;
        else if (name == QLatin1String("notes"))
            request.fields.notes = text;
        else if (name == QLatin1String("device"))
            request.fields.dut = text;
        else if (name == QLatin1String("source"))
            request.fields.source = text;
        else if (name == QLatin1String("cable"))
            request.fields.cable = text;
        else if (name == QLatin1String("ambient")) {
            if (!request.fields.setAmbient(text))
                PyError::raise(QStringLiteral("bad value '%1' for ambient: a temperature in degrees Celsius such as 25 or -5.5")
                         .arg(text));
        } else if (name == QLatin1String("all_reports"))
            request.meter.allReports = value.cast<bool>();
        else
            throw py::type_error("record() got an unexpected keyword argument '" + name.toStdString() + "'");
    }
    LiveOutputsSettings settings;
    LiveOutputsSettings::Given given;
    for (const OutputField &f : outputFields())
        given.fields.push_back(&f);
    given.value = [&](const OutputField &f) -> std::optional<QString> {
        const auto it = outputs.find(&f);
        return it == outputs.end() ? std::nullopt : std::optional<QString>(it->second);
    };
    given.name = [](const OutputField &f) { return keyword(f.option); };
    LiveOutputsSettings::Problem problem;
    if (!settings.read(given, &problem))
        PyError::raise(problem.words);
    for (const OutputField &f : outputFields()) {
        if (f.value == OutputField::Value::File && f.text && settings.*f.text == QLatin1String("-"))
            PyError::raise(QStringLiteral("%1: a run recorded from Python writes files, not standard output").arg(keyword(f.option)));
    }
    request.csvFile = settings.csvFile;
    request.jsonLinesFile = settings.jsonLinesFile;

    auto state = std::make_shared<State>();
    QString words;
    bool opened = false;
    {
        py::gil_scoped_release unlocked;
        QtHost::call([&] {
            // A child of the application: Python's exit stops it.
            auto *run = new RecordedRun(request, QCoreApplication::instance());
            bool noMeter = false;
            if (!run->open(&words, &noMeter)) {
                delete run;
                return;
            }
            auto say = [state](const QString &said) {
                const std::lock_guard<std::mutex> lock(state->mutex);
                state->said << said;
            };
            auto outputs = std::make_shared<RecordOutputs>(say);
            if (!outputs->open(settings, &words)) {
                delete run;
                return;
            }
            opened = true;
            state->run = run;
            QObject::connect(run, &RecordedRun::said, run, say);
            // The end: the run closed and gone once the signal's emitter
            // has returned.
            QObject::connect(run, &RecordedRun::finished, run, [state, run, outputs] {
                QTimer::singleShot(0, run, [state, run, outputs] {
                    run->close();
                    outputs->finish();
                    {
                        const std::lock_guard<std::mutex> lock(state->mutex);
                        state->done = true;
                        state->failed = run->failed();
                        state->reason = run->run().endReason();
                    }
                    state->changed.notify_all();
                    run->deleteLater();
                });
            });
            // The journal first, then the files, then the outputs, as
            // `ombrel record` attaches them.
            run->attachFiles();
            std::vector<FileRunSink *> files;
            outputs->attach(run->run(),
                            {run->product().modelWord, run->product().versionWord, run->recorder().serialNumber()}, files);
            for (FileRunSink *file : files)
                run->adopt(file);
            run->begin();
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->storedId = run->session().storedRunId();
        });
    }
    if (!opened)
        PyError::raise(words);
    return Recording(state);
}

} // namespace

py::object record(const std::string &serial, bool background, const py::kwargs &options)
{
    Recording recording = start(serial, options);
    if (background)
        return py::cast(std::move(recording));
    return recording.summary();
}

void bindRecord(py::module_ &m)
{
    py::class_<Recording>(m, "Recording", "A run being recorded in the background.")
        .def_property_readonly("id", &Recording::id, "Its id in the run journal.")
        .def_property_readonly("running", &Recording::running)
        .def_property_readonly("said", &Recording::said,
                               "What the run has said so far (the meter pulled out and back, journal faults), "
                               "in the command line's words.")
        .def("wait", &Recording::wait, py::arg("timeout") = py::none(),
             "Waits for the run's end (at most `timeout` seconds); True once it has ended. Ctrl+C stops it.")
        .def("stop", &Recording::stop, "Ends the run as stopped, as Ctrl+C ends `ombrel record`.")
        .def("mark", &Recording::mark, py::arg("text"), "Marks this moment of the run with a name.")
        .def("summary", &Recording::summary,
             "Waits for the end, then gives the run's figures as `ombrel stats RUN --json` does, with run and "
             "end_reason.");
}
