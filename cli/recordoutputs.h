#pragma once

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class FileRunSink;
class InfluxFileRunSink;
class InfluxHttpSink;
class LiveRun;
class MetricsSink;
class RunSink;
struct LiveOutputsSettings;

namespace Cli {

// The live outputs of `record`: the metrics endpoint (--metrics-listen), the
// InfluxDB line protocol to a file (--influx) and to a server (--influx-url).
class RecordOutputs
{
public:
    RecordOutputs();
    ~RecordOutputs();

    // Before the first record, those of `settings` (checked ones): the
    // endpoint listens, the file is opened. An exit status when one cannot
    // be (said).
    std::optional<int> open(const LiveOutputsSettings &settings);
    // Attaches them to the run, after the journal and the files; a file
    // among them joins `files` (its faults end the run as any file's do).
    void attach(LiveRun &run, std::vector<FileRunSink *> &files);
    // A sink's status changed: true when it is a network output of these,
    // whose faults are said once and never end the run.
    bool statusChanged(const RunSink &sink);
    // The run has ended: the points still queued are posted (a few seconds at most).
    void finish();

private:
    std::unique_ptr<MetricsSink> m_metricsSink;
    std::unique_ptr<InfluxFileRunSink> m_influxFile;
    std::unique_ptr<InfluxHttpSink> m_influxHttp;
    MetricsSink *m_metricsAttached = nullptr;
    InfluxHttpSink *m_httpAttached = nullptr;
    QString m_httpFault;
    QStringList m_faultsSaid;
};

} // namespace Cli
