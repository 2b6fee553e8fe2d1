#include "outputs/metricssink.h"

#include "outputs/outputvalues.h"
#include "recording/readinglog.h"
#include "recording/runstats.h"

#include <CivetServer.h>
#include <civetweb.h>
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>

#include <QCoreApplication>
#include <QHostAddress>

#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// The gauges of a record: a log column each.
struct ChannelGauge {
    const char *name;
    const char *help;
    ReadingLog::Column column;
};
const ChannelGauge kChannels[] = {
    {"ombrel_vbus_volts", "Bus voltage (VBUS) of the last record, volts.", ReadingLog::Vbus},
    {"ombrel_ibus_amperes", "Bus current (IBUS) of the last record, amperes.", ReadingLog::Ibus},
    {"ombrel_power_watts", "Power of the last record, watts.", ReadingLog::Power},
    {"ombrel_dplus_volts", "USB D+ line voltage of the last record, volts.", ReadingLog::Pd},
    {"ombrel_dminus_volts", "USB D- line voltage of the last record, volts.", ReadingLog::Pm},
    {"ombrel_cc1_volts", "Type-C CC1 voltage of the last record, volts.", ReadingLog::Cc1},
    {"ombrel_cc2_volts", "Type-C CC2 voltage of the last record, volts.", ReadingLog::Cc2},
    {"ombrel_temperature_celsius", "The meter's temperature at the last record, degrees Celsius.",
     ReadingLog::CpuTemp},
    {"ombrel_meter_charge_amperehours", "The meter's own charge counter (CAP) at the last record, ampere-hours.",
     ReadingLog::Cap},
    {"ombrel_meter_energy_watthours", "The meter's own energy counter (ELE) at the last record, watt-hours.",
     ReadingLog::Ele},
};
constexpr int kChannelCount = int(sizeof kChannels / sizeof kChannels[0]);

// What the endpoint serves of a meter, copied at each tick.
struct Snapshot {
    bool haveRun = false;
    bool haveRecord = false;   // the channels are shown while the meter is there
    bool connected = false;
    std::string model, serial, role;
    std::array<double, kChannelCount> channels{};
    double records = 0, chargeAh = 0, energyWh = 0, durationS = 0, lastRecordS = 0;
};

// And of a bench: its last pair's values (none while it is a gap) and its
// energies so far.
struct BenchSnapshot {
    bool have = false;
    std::string name;
    bool havePair = false;
    double efficiency = 0, lossW = 0, dropV = 0, resistanceOhm = qQNaN();
    double energyInWh = 0, energyOutWh = 0;
};

// The civetweb server's log while it starts: the reason a port cannot be
// listened on.
std::mutex g_startLogMutex;
std::string *g_startLog = nullptr;

int logMessage(const mg_connection *, const char *message)
{
    std::lock_guard<std::mutex> lock(g_startLogMutex);
    if (g_startLog && message) {
        if (!g_startLog->empty())
            *g_startLog += "; ";
        *g_startLog += message;
    }
    return 1;   // never on the program's own output
}

// Only GET /metrics reaches the metrics handler; everything else is 404.
int beginRequest(mg_connection *connection)
{
    const mg_request_info *info = mg_get_request_info(connection);
    if (info && info->request_method && info->local_uri && std::strcmp(info->request_method, "GET") == 0
        && std::strcmp(info->local_uri, "/metrics") == 0)
        return 0;
    static const char kNotFound[] = "Not found: this endpoint serves GET /metrics only.\n";
    mg_printf(connection,
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: %d\r\n"
              "Connection: close\r\n\r\n%s",
              int(sizeof kNotFound - 1), kNotFound);
    return 404;
}

} // namespace

// Every meter's values (a slot each: one, or a bench's members, each
// labelled with its role too) and a bench's, each gauge one family with a
// metric for each meter.
class MetricsSink::Values : public prometheus::Collectable
{
public:
    std::vector<prometheus::MetricFamily> Collect() const override
    {
        std::vector<Snapshot> meters;
        BenchSnapshot bench;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            meters = m_slots;
            bench = m_bench;
        }
        std::vector<prometheus::MetricFamily> families;
        auto family = [&](const char *name, const char *help) -> prometheus::MetricFamily & {
            for (prometheus::MetricFamily &f : families) {
                if (f.name == name)
                    return f;
            }
            families.push_back({name, help, prometheus::MetricType::Gauge, {}});
            return families.back();
        };
        auto gauge = [&](const char *name, const char *help, double value,
                         std::vector<prometheus::ClientMetric::Label> labels) {
            prometheus::ClientMetric metric;
            metric.label = std::move(labels);
            metric.gauge.value = value;
            family(name, help).metric.push_back(std::move(metric));
        };
        for (const Snapshot &s : meters) {
            std::vector<prometheus::ClientMetric::Label> labels;
            if (!s.model.empty())
                labels.push_back({"model", s.model});
            if (!s.serial.empty())
                labels.push_back({"serial", s.serial});
            if (!s.role.empty())
                labels.push_back({"role", s.role});
            auto meterGauge = [&](const char *name, const char *help, double value) { gauge(name, help, value, labels); };
            meterGauge("ombrel_meter_connected", "1 while the meter is connected and recorded, else 0.",
                       s.connected ? 1 : 0);
            if (s.haveRecord) {
                for (int c = 0; c < kChannelCount; ++c)
                    meterGauge(kChannels[c].name, kChannels[c].help, s.channels[size_t(c)]);
                meterGauge("ombrel_last_record_timestamp_seconds",
                           "Wall-clock time of the last record, seconds since the epoch.", s.lastRecordS);
            }
            if (s.haveRun) {
                meterGauge("ombrel_run_records", "Records of the run so far.", s.records);
                meterGauge("ombrel_run_charge_amperehours", "Charge of the run so far (from its records), ampere-hours.",
                           s.chargeAh);
                meterGauge("ombrel_run_energy_watthours", "Energy of the run so far (from its records), watt-hours.",
                           s.energyWh);
                meterGauge("ombrel_run_duration_seconds", "Time from the run's first record to its last, seconds.",
                           s.durationS);
            }
        }
        if (bench.have) {
            const std::vector<prometheus::ClientMetric::Label> labels{{"bench", bench.name}};
            if (bench.havePair) {
                gauge("ombrel_bench_efficiency_ratio", "P_out / P_in of the bench's last pair of in and out records.",
                      bench.efficiency, labels);
                gauge("ombrel_bench_loss_watts", "P_in - P_out of the bench's last pair, watts.", bench.lossW, labels);
                gauge("ombrel_bench_drop_volts", "V_in - V_out of the bench's last pair, volts.", bench.dropV, labels);
                if (!std::isnan(bench.resistanceOhm))
                    gauge("ombrel_bench_resistance_ohms",
                          "(V_in - V_out) / I_out of the bench's last pair, ohms (I_out at least 0.05 A).",
                          bench.resistanceOhm, labels);
            }
            gauge("ombrel_bench_energy_in_watthours", "Energy of the bench's in meter so far, watt-hours.",
                  bench.energyInWh, labels);
            gauge("ombrel_bench_energy_out_watthours", "Energy of the bench's out meter so far, watt-hours.",
                  bench.energyOutWh, labels);
        }
        return families;
    }

    int addSlot()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slots.emplace_back();
        return int(m_slots.size()) - 1;
    }
    template <class Change> void change(int slot, Change c)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        c(m_slots[size_t(slot)]);
    }
    template <class Change> void changeBench(Change c)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        c(m_bench);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Snapshot> m_slots;
    BenchSnapshot m_bench;
};

// ---------------------------------------------------------------- settings

bool MetricsSettings::parse(const QString &text, MetricsSettings *settings, QString *error)
{
    QString unsaid;
    if (!error)
        error = &unsaid;
    MetricsSettings s;
    QString portText = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        else if (host.contains(QLatin1Char(':'))) {
            *error = QCoreApplication::translate("MetricsSettings", "IPv6 地址应放在方括号中：[地址]:端口");
            return false;
        }
        if (host == QLatin1String("localhost"))
            host = QStringLiteral("127.0.0.1");
        QHostAddress address;
        if (host.isEmpty() || !address.setAddress(host)) {
            *error = QCoreApplication::translate("MetricsSettings", "“%1”不是 IP 地址").arg(host);
            return false;
        }
        s.address = address.toString();
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 0 || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
        *error = QCoreApplication::translate("MetricsSettings", "“%1”不是端口号（0 到 65535）").arg(portText);
        return false;
    }
    s.port = port;
    *settings = s;
    return true;
}

QString MetricsSettings::hostPort() const
{
    const QString host = address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
    return host + QLatin1Char(':') + QString::number(port);
}

// ---------------------------------------------------------------- sink

MetricsSink::MetricsSink(const MetricsSettings &settings)
    : m_settings(settings), m_values(std::make_shared<Values>())
{
    m_slot = m_values->addSlot();
}

MetricsSink::MetricsSink(const MetricsSink &endpoint, const QString &role)
    : m_settings(endpoint.m_settings), m_role(role.toStdString()), m_values(endpoint.m_values)
{
    m_slot = m_values->addSlot();
}

std::unique_ptr<MetricsSink> MetricsSink::memberSink(const QString &role) const
{
    return std::unique_ptr<MetricsSink>(new MetricsSink(*this, role));
}

void MetricsSink::setRole(const QString &role)
{
    m_role = role.toStdString();
    m_values->change(m_slot, [&](Snapshot &s) { s.role = m_role; });
}

void MetricsSink::benchDerived(const QString &name, const Bench::Derived &last, double energyInWh, double energyOutWh)
{
    const std::string bench = name.toStdString();
    m_values->changeBench([&](BenchSnapshot &b) {
        b.have = true;
        b.name = bench;
        b.havePair = !last.gap() && !std::isnan(last.efficiencyPct);
        b.efficiency = last.efficiencyPct / 100.0;
        b.lossW = last.lossW;
        b.dropV = last.dropV;
        b.resistanceOhm = last.resistanceOhm;
        b.energyInWh = energyInWh;
        b.energyOutWh = energyOutWh;
    });
}

MetricsSink::~MetricsSink()
{
    stop();
}

bool MetricsSink::start(QString *error)
{
    stop();
    static CivetCallbacks callbacks;
    callbacks.begin_request = beginRequest;
    callbacks.log_message = logMessage;
    std::string log;
    {
        std::lock_guard<std::mutex> lock(g_startLogMutex);
        g_startLog = &log;
    }
    const std::vector<std::string> options = {
        "listening_ports", m_settings.hostPort().toStdString(),
        // civetweb gives each connection a thread from the moment it is
        // accepted, while its request is still coming or never comes: a
        // client that connects and sends nothing, or sends a byte at a time,
        // holds a thread until the request time-out, and a scrape that finds
        // no thread free waits behind it. So there are 64 threads, enough for
        // dozens of such clients with some left for scrapes (all started
        // here, each asleep until a connection comes, for its touched stack
        // and a 16 KiB request buffer), and a request must come whole within
        // 5 s, far more than a scraper takes to send its few lines.
        "num_threads", "64",
        "request_timeout_ms", "5000",
        "enable_keep_alive", "no",
    };
    try {
        m_exposer = std::make_unique<prometheus::Exposer>(options, &callbacks);
    } catch (const std::exception &e) {
        m_exposer.reset();
    }
    {
        std::lock_guard<std::mutex> lock(g_startLogMutex);
        g_startLog = nullptr;
    }
    if (!m_exposer) {
        // civetweb says "cannot bind to ADDR:PORT: 98 (Address already in use)": the system's reason.
        QString reason = QString::fromStdString(log).trimmed();
        const int open = reason.indexOf(QLatin1Char('(')), close = reason.indexOf(QLatin1Char(')'), open);
        if (open >= 0 && close > open)
            reason = reason.mid(open + 1, close - open - 1);
        if (reason.isEmpty())
            reason = QStringLiteral("the address or port cannot be listened on");
        *error = QStringLiteral("cannot listen on %1: %2").arg(m_settings.hostPort(), reason);
        setStatus(State::Fault, *error);
        return false;
    }
    m_exposer->RegisterCollectable(m_values);
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    m_port = ports.empty() ? m_settings.port : ports.front();
    setStatus(State::Ok);
    return true;
}

void MetricsSink::stop()
{
    m_exposer.reset();
}

QString MetricsSink::url() const
{
    MetricsSettings at = m_settings;
    at.port = m_port;
    if (at.address == QLatin1String("0.0.0.0"))
        at.address = QStringLiteral("127.0.0.1");
    else if (at.address == QLatin1String("::"))
        at.address = QStringLiteral("::1");
    return QStringLiteral("http://%1/metrics").arg(at.hostPort());
}

void MetricsSink::update(const LiveRun &run, bool withRecord)
{
    const ReadingLog &log = run.log();
    const IntervalStats total = run.stats().total();
    m_values->change(m_slot, [&](Snapshot &s) {
        s.haveRun = true;
        s.records = double(run.records());
        s.chargeAh = total.charge_ah;
        s.energyWh = total.energy_wh;
        s.durationS = total.duration_s;
        if (withRecord && log.size() > 0) {
            const int last = log.size() - 1;
            for (int c = 0; c < kChannelCount; ++c)
                s.channels[size_t(c)] = OutputValues::decimal(log.value(kChannels[c].column, last));
            s.lastRecordS = double(log.timeMs(last)) / 1000.0;
            s.haveRecord = true;
        }
    });
}

void MetricsSink::begun(const LiveRun &run)
{
    const std::string model = run.meter().model.toStdString();
    const std::string serial = run.meter().serial.toStdString();
    m_values->change(m_slot, [&](Snapshot &s) {
        s = Snapshot();
        s.role = m_role;
        s.model = model;
        s.serial = serial;
        s.connected = true;
    });
    update(run, false);
}

void MetricsSink::recorded(const LiveRun &run)
{
    update(run, true);
}

void MetricsSink::paused(const LiveRun &run)
{
    update(run, false);
    // The meter is gone: its channels are not shown as if they were current.
    m_values->change(m_slot, [](Snapshot &s) {
        s.connected = false;
        s.haveRecord = false;
    });
}

void MetricsSink::resumed(const LiveRun &)
{
    setMeterConnected(true);
}

void MetricsSink::ended(const LiveRun &run)
{
    update(run, false);
}

void MetricsSink::setMeterConnected(bool connected)
{
    m_values->change(m_slot, [connected](Snapshot &s) {
        s.connected = connected;
        if (!connected)
            s.haveRecord = false;
    });
}
