#include "pymeter.h"

#include "pyerror.h"
#include "pyrecord.h"
#include "qthost.h"

#include "device/firmwareupgrade.h"
#include "device/meterport.h"
#include "device/metersettings.h"
#include "device/productinfo.h"
#include "recording/jsonlines.h"
#include "recording/runrecorder.h"

#include <pybind11/stl.h>

#include <QCoreApplication>
#include <QDateTime>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace py = pybind11;

namespace {

// A reading with the time it was read.
struct Taken {
    qint64 wallMs = 0;
    MeterReading reading;
};

// What the Qt thread hands the script: the readings not yet taken, at most
// kKept of them (the oldest dropped beyond, and counted).
struct Mailbox {
    static constexpr size_t kKept = 100000;
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Taken> waiting;
    std::optional<Taken> latest;
    qint64 dropped = 0;
    bool unplugged = false;
};

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

py::dict readingObject(const Taken &t)
{
    py::dict d;
    d["time"] = py::module_::import("datetime")
                    .attr("datetime")
                    .attr("fromtimestamp")(double(t.wallMs) / 1000.0)
                    .attr("astimezone")();
    const ReadingLog::Values values = ReadingLog::valuesOf(t.reading);
    for (const JsonLines::Field &f : JsonLines::kFields)
        d[f.key] = double(values[size_t(f.column)]);
    return d;
}

class Meter
{
public:
    explicit Meter(const std::optional<std::string> &serial)
    {
        RunRecorder::Options options;
        options.serial = serial ? QString::fromStdString(*serial) : QString();
        // Every measurement report, at the meter's own pace.
        options.allReports = true;
        QString said;
        auto box = m_box;
        {
            py::gil_scoped_release unlocked;
            QtHost::call([&] {
                auto *recorder = new RunRecorder(options);
                QString node;
                const MeterOpen opened =
                    openMeter(recorder->port(), kMeterVendorId, kMeterProductId, options.serial, &node);
                if (opened != MeterOpen::Opened) {
                    said = meterOpenWords(opened, options.serial, node);
                    delete recorder;
                    return;
                }
                recorder->opened();
                QObject::connect(recorder, &RunRecorder::taken, recorder, [box](const MeterReading &reading) {
                    const std::lock_guard<std::mutex> lock(box->mutex);
                    Taken t{QDateTime::currentMSecsSinceEpoch(), reading};
                    box->latest = t;
                    box->waiting.push_back(t);
                    if (box->waiting.size() > Mailbox::kKept) {
                        box->waiting.pop_front();
                        ++box->dropped;
                    }
                    box->arrived.notify_all();
                });
                QObject::connect(recorder, &RunRecorder::unplugged, recorder, [box] {
                    const std::lock_guard<std::mutex> lock(box->mutex);
                    box->unplugged = true;
                    box->arrived.notify_all();
                });
                QObject::connect(recorder, &RunRecorder::replugged, recorder, [box] {
                    const std::lock_guard<std::mutex> lock(box->mutex);
                    box->unplugged = false;
                });
                recorder->start();
                m_recorder = recorder;
                m_serial = recorder->serialNumber();
                m_product = recorder->product();
            });
        }
        if (!m_recorder)
            PyError::raise(said);
    }
    ~Meter() { close(); }

    void close()
    {
        if (!m_recorder)
            return;
        RunRecorder *recorder = m_recorder;
        m_recorder = nullptr;
        py::gil_scoped_release unlocked;
        QtHost::call([recorder] { delete recorder; });
    }

    std::string serial() const { return m_serial.toStdString(); }
    std::string product() const { return m_product.toStdString(); }
    qint64 dropped() const
    {
        const std::lock_guard<std::mutex> lock(m_box->mutex);
        return m_box->dropped;
    }

    // The latest reading, waiting up to `timeout` seconds for the first.
    py::dict reading(double timeout)
    {
        const std::optional<Taken> t = next(timeout, false);
        if (!t)
            PyError::raise(QStringLiteral("no reading from meter %1 in %2 s").arg(m_serial).arg(timeout));
        return readingObject(*t);
    }

    // The next reading in the order they came, or none by `deadline`.
    std::optional<Taken> next(double timeout, bool inTurn)
    {
        if (!m_recorder)
            PyError::raise(QStringLiteral("the meter is closed"));
        const Clock::time_point end = after(timeout);
        for (;;) {
            {
                py::gil_scoped_release unlocked;
                std::unique_lock<std::mutex> lock(m_box->mutex);
                // A signal is looked at every tenth of a second.
                const Clock::time_point until = std::min(end, after(0.1));
                m_box->arrived.wait_until(lock, until, [&] {
                    return m_box->unplugged || (inTurn ? !m_box->waiting.empty() : m_box->latest.has_value());
                });
                if (inTurn && !m_box->waiting.empty()) {
                    const Taken t = m_box->waiting.front();
                    m_box->waiting.pop_front();
                    return t;
                }
                if (!inTurn && m_box->latest && !m_box->unplugged) {
                    m_box->waiting.clear();
                    return m_box->latest;
                }
                if (m_box->unplugged) {
                    lock.unlock();
                    py::gil_scoped_acquire locked;
                    PyError::raise(QCoreApplication::translate("Cli", "电表（序列号 %1）已拔出").arg(m_serial));
                }
            }
            if (PyErr_CheckSignals() != 0)
                throw py::error_already_set();
            if (Clock::now() >= end)
                return std::nullopt;
        }
    }

    // The meter's settings as `ombrel get --json` gives them, on a handle of
    // their own.
    py::dict settings()
    {
        MeterReading reading;
        QString words;
        bool read = false;
        {
            py::gil_scoped_release unlocked;
            MeterPort port;
            if (open(port, &words))
                read = MeterSettings::read(port, &reading, &words);
        }
        if (!read)
            PyError::raise(words);
        py::dict out;
        for (const auto &[name, value] : MeterSettings::reported(reading)) {
            bool number = false;
            const double d = value.toDouble(&number);
            if (number)
                out[name.toUtf8().constData()] = d;
            else
                out[name.toUtf8().constData()] = value.toStdString();
        }
        return out;
    }

    // Changes settings as `ombrel set` does, in the order given; a keyword
    // is a setting's name with _ for -, an action's value True.
    void set(const py::kwargs &values)
    {
        QList<const MeterSettings::Setting *> chosen;
        QStringList texts;
        for (const auto &[key, value] : values) {
            const QString name = QString::fromStdString(py::str(key)).replace(QLatin1Char('_'), QLatin1Char('-'));
            const MeterSettings::Setting *s = MeterSettings::find(name);
            if (!s)
                throw py::type_error("set() got an unexpected keyword argument '" + py::str(key).cast<std::string>()
                                     + "' (the settings are ombrel set's)");
            chosen << s;
            texts << (py::isinstance<py::bool_>(value) ? QString()
                                                       : QString::fromStdString(py::str(value).cast<std::string>()));
        }
        QString words;
        bool written = false;
        {
            py::gil_scoped_release unlocked;
            MeterPort port;
            if (open(port, &words)) {
                const bool compact = isCompactFamily(parseProductString(port.product()).modelWord);
                QList<QByteArray> frames;
                for (int i = 0; i < chosen.size() && words.isEmpty(); ++i)
                    frames << MeterSettings::frame(*chosen[i], texts[i], compact, &words);
                written = words.isEmpty() && MeterSettings::write(port, frames, &words);
            }
        }
        if (!written)
            PyError::raise(words);
    }

    // Sends a firmware image as `ombrel upgrade` does, on a handle of its
    // own; progress(percent, sent, total) after each block. Ctrl+C or an
    // exception of the callback stops the transfer.
    void upgrade(const std::string &file, const std::optional<py::function> &progress)
    {
        const QString path = QString::fromStdString(file);
        const Firmware::Image image = Firmware::loadImage(path);
        if (image.error != Firmware::LoadError::None)
            PyError::raise(Firmware::loadWords(image, path));
        QString words;
        std::optional<py::error_already_set> raised;
        Firmware::End end = Firmware::End::Stopped;
        bool opened = false;
        {
            py::gil_scoped_release unlocked;
            MeterPort port;
            opened = open(port, &words);
            Firmware::Watcher watcher;
            watcher.progress = [&](const Firmware::Progress &p) {
                py::gil_scoped_acquire locked;
                if (!progress || raised)
                    return;
                try {
                    (*progress)(p.percent, p.sent, p.total);
                } catch (py::error_already_set &e) {
                    raised = std::move(e);
                }
            };
            watcher.goOn = [&] {
                py::gil_scoped_acquire locked;
                if (!raised && PyErr_CheckSignals() != 0)
                    raised.emplace();
                return !raised;
            };
            if (opened)
                end = Firmware::upgrade(port, image.data, watcher);
        }
        if (!opened)
            PyError::raise(words);
        if (raised)
            throw *raised;
        if (end != Firmware::End::Done)
            PyError::raise(Firmware::endWords(end));
    }

    std::shared_ptr<Mailbox> m_box = std::make_shared<Mailbox>();

private:
    // This meter on a handle of its own; false with the words.
    bool open(MeterPort &port, QString *words) const
    {
        QString node;
        const MeterOpen opened = openMeter(port, kMeterVendorId, kMeterProductId, m_serial, &node);
        if (opened != MeterOpen::Opened)
            *words = meterOpenWords(opened, m_serial, node);
        return opened == MeterOpen::Opened;
    }

    RunRecorder *m_recorder = nullptr;
    QString m_serial, m_product;
};

// Meter.readings(seconds): each reading as it comes, for `seconds` (for ever
// when not given).
class Readings
{
public:
    Readings(Meter &meter, std::optional<double> seconds)
        : m_meter(meter), m_end(seconds ? std::optional<Clock::time_point>(after(*seconds)) : std::nullopt)
    {
    }
    py::dict next()
    {
        for (;;) {
            const double left = m_end ? std::chrono::duration<double>(*m_end - Clock::now()).count() : 1.0;
            if (left <= 0)
                throw py::stop_iteration();
            if (const std::optional<Taken> t = m_meter.next(left, true))
                return readingObject(*t);
        }
    }

private:
    Meter &m_meter;
    std::optional<Clock::time_point> m_end;
};

} // namespace

void bindMeter(py::module_ &m)
{
    py::class_<Meter>(m, "Meter", "A meter opened from Python; close() or a with block lets it go.")
        .def_property_readonly("serial", &Meter::serial)
        .def_property_readonly("product", &Meter::product)
        .def_property_readonly("dropped", &Meter::dropped,
                               "Readings dropped because the script took none of the last 100000.")
        .def("reading", &Meter::reading, py::arg("timeout") = 5.0,
             "The latest reading as a dict: time (an aware datetime), vbus (V), ibus (A), power (W), cap (Ah), "
             "ele (Wh), pd, pm, cc1, cc2 (V), cpu_temp (°C).")
        .def(
            "readings",
            [](Meter &meter, std::optional<double> seconds) { return Readings(meter, seconds); },
            py::arg("seconds") = py::none(), py::keep_alive<0, 1>(),
            "Each reading as the meter sends it (about four a second), for `seconds` or for ever; up to 100000 "
            "are kept while the script is busy.")
        .def(
            "record",
            [](Meter &meter, bool background, const py::kwargs &options) {
                return record(meter.serial(), background, options);
            },
            py::arg("background") = false,
            "Records a run as `ombrel record` does, into the run journal: name, notes, device, source, cable, "
            "ambient; until_duration=s, until_current_below=(A, s), until_voltage_below=V, until_charge=Ah, "
            "until_energy=Wh; csv=FILE, jsonl=FILE; all_reports=True. Blocking, it gives the run's summary (as "
            "`ombrel stats --json`, with run and end_reason); background=True gives its Recording.")
        .def("settings", &Meter::settings,
             "The meter's settings by the names `ombrel set` takes, as `ombrel get --json` gives them.")
        .def("set", &Meter::set,
             "Changes the meter's settings as `ombrel set` does, in the order given: brightness=7, "
             "language='en', min_current=10, zero=True (an action) ...")
        .def("upgrade", &Meter::upgrade, py::arg("file"), py::arg("progress") = py::none(),
             "Sends this firmware image to the meter's loader as `ombrel upgrade` does, waiting for the meter to "
             "write it; progress(percent, sent_bytes, total_bytes) is called after each block. Ctrl+C stops it.")
        .def("close", &Meter::close)
        .def("__enter__", [](Meter &meter) -> Meter & { return meter; }, py::return_value_policy::reference)
        .def("__exit__", [](Meter &meter, const py::args &) { meter.close(); });
    py::class_<Readings>(m, "Readings")
        .def("__iter__", [](Readings &r) -> Readings & { return r; }, py::return_value_policy::reference)
        .def("__next__", &Readings::next);
    m.def(
        "open", [](std::optional<std::string> serial) { return std::make_unique<Meter>(serial); },
        py::arg("serial") = py::none(),
        "Opens the meter with this serial number (the first one found when not given); ombrel.Error with the "
        "command line's words when it cannot.");
}
