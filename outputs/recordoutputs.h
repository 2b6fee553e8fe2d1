#pragma once

#include "outputs/outputsettings.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BenchRecording;
class FileRunSink;
class InfluxFileRunSink;
class InfluxHttpSink;
class LiveRun;
class MetricsSink;
class MqttSink;
class RunSink;
struct RunMeter;

// The live outputs of a run recorded without a window (`ombrel record`, a
// Python script): the metrics endpoint, the InfluxDB line protocol to a file
// and to a server, and the MQTT broker. What they have to say (where the
// endpoint listens, the broker's comings and goings, the points that could
// not be posted) goes to `say`, each fault once; the network outputs' faults
// never end the run.
class RecordOutputs
{
public:
    explicit RecordOutputs(std::function<void(const QString &)> say);
    ~RecordOutputs();

    // Before the first record, those of `settings` (checked ones): the
    // endpoint listens, the file is opened. False with the words when one
    // cannot be.
    bool open(const LiveOutputsSettings &settings, QString *words);
    // Attaches them to the run, after the journal and the files; a file
    // among them joins `files` (its faults end the run as any file's do).
    // The broker comes last, connected for `meter`: it never holds back the
    // run nor the files.
    void attach(LiveRun &run, const RunMeter &meter, std::vector<FileRunSink *> &files);
    // The same for every meter of a bench (no InfluxDB file: open() refuses
    // none, the caller does): one metrics endpoint for all, each meter's
    // gauges and points labelled with its role, each meter on its own MQTT
    // connection; the bench's pairs to the endpoint's bench gauges, to
    // InfluxDB (measurement ombrel_bench) and to MQTT with the in meter's
    // connection (else the first's).
    void attachBench(BenchRecording &bench);
    // The run has ended: the points still queued are posted (a few seconds
    // at most), the broker hears the end, and what the outputs missed is
    // said.
    void finish();

private:
    void statusChanged(const RunSink &sink);
    void watch(LiveRun &run);
    MqttSink *attachMqtt(LiveRun &run, std::unique_ptr<MqttSink> sink, const RunMeter &meter);

    std::function<void(const QString &)> m_say;
    LiveOutputsSettings m_settings;
    std::unique_ptr<MetricsSink> m_metricsSink;
    std::unique_ptr<InfluxFileRunSink> m_influxFile;
    std::unique_ptr<InfluxHttpSink> m_influxHttp;
    std::unique_ptr<MqttSink> m_mqttSink;
    MetricsSink *m_metrics = nullptr;
    std::vector<InfluxHttpSink *> m_https;
    std::vector<MqttSink *> m_mqtts;
    QString m_httpFault;
    QStringList m_faultsSaid;
    std::vector<QMetaObject::Connection> m_connections;
};
