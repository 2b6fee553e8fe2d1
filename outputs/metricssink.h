#pragma once

#include "meterbench/benchpairing.h"
#include "recording/liverun.h"

#include <QString>

#include <limits>
#include <memory>
#include <string>

namespace prometheus {
class Exposer;
}

// Where the metrics endpoint listens.
struct MetricsSettings {
    static constexpr int kDefaultPort = 9464;
    QString address = QStringLiteral("127.0.0.1");   // an IP address; "0.0.0.0" or "::" for every interface
    int port = kDefaultPort;                          // 0: any free port (see MetricsSink::port())

    // "[ADDR:]PORT": "9464", "127.0.0.1:9464", "0.0.0.0:9464", "[::1]:9464",
    // "localhost:9464". False with the reason.
    static bool parse(const QString &text, MetricsSettings *settings, QString *error);
    // "127.0.0.1:9464", "[::1]:9464".
    QString hostPort() const;
};

// The run as Prometheus gauges, served at GET /metrics over HTTP: the last
// record's channels, the meter's own counters, whether the meter is
// connected, the run's records, charge, energy and duration, each labelled
// with the meter's model and serial number. The endpoint only reads: any
// other path or method gets 404. Scrapes are answered by the server's own
// threads from a copy of the latest values, so a slow or hostile client
// never holds the run's tick; the tick only copies a few numbers.
class MetricsSink : public RunSink
{
public:
    explicit MetricsSink(const MetricsSettings &settings);
    ~MetricsSink() override;

    // A bench: a sink for each further meter, served by this one's endpoint
    // (it must outlive them), every meter's gauges labelled with its role
    // too, and the bench's own gauges (ombrel_bench_efficiency_ratio,
    // _loss_watts, _drop_volts, _resistance_ohms, _energy_in_watthours,
    // _energy_out_watthours, labelled with the bench's name) from its last
    // pair; a gap leaves the pair's gauges out.
    std::unique_ptr<MetricsSink> memberSink(const QString &role) const;
    void setRole(const QString &role);
    void benchDerived(const QString &name, const Bench::Derived &last, double energyInWh, double energyOutWh);

    // Starts listening; false with the reason (the address is not this
    // machine's, the port is taken). Once started the status stays Ok.
    bool start(QString *error);
    // Stops listening (also at destruction).
    void stop();
    bool listening() const { return m_exposer != nullptr; }
    const MetricsSettings &settings() const { return m_settings; }
    // The port listened on (the one chosen when the settings say 0).
    int port() const { return m_port; }
    // "http://127.0.0.1:9464/metrics".
    QString url() const;

    void begun(const LiveRun &run) override;
    void recorded(const LiveRun &run) override;
    void paused(const LiveRun &run) override;
    void resumed(const LiveRun &run) override;
    void ended(const LiveRun &run) override;
    // It keeps no records: it never holds the run's log back.
    qint64 taken() const override { return std::numeric_limits<qint64>::max(); }

    // The window knows the meter's connection outside a run too.
    void setMeterConnected(bool connected);

    class Values;

private:
    MetricsSink(const MetricsSink &endpoint, const QString &role);
    void update(const LiveRun &run, bool withRecord);

    MetricsSettings m_settings;
    int m_slot = 0;
    std::string m_role;
    int m_port = 0;
    std::shared_ptr<Values> m_values;
    std::unique_ptr<prometheus::Exposer> m_exposer;
};
