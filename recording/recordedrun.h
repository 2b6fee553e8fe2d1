#pragma once

#include "device/productinfo.h"
#include "recording/runrecorder.h"
#include "recording/runsession.h"
#include "recording/stopconditions.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class FileRunSink;

// A run recorded without a window, as `ombrel record` and the Python module
// record one: the meter's side (RunRecorder) feeding the run session (the
// journal first, then the run's files, then any other sink the caller
// attaches), the stop conditions looked at every tick, the rule for a meter
// that is pulled out and comes back, a file that cannot be written ending
// the run. What happens is said in the program's words (said()); finished()
// tells the caller the run is to end, and close() ends it.
class RecordedRun : public QObject
{
    Q_OBJECT
public:
    struct Request {
        RunRecorder::Options meter;
        QString name;
        RunFields fields;
        StopConditions conditions;
        QString csvFile;         // empty: none; "-": standard output
        QString jsonLinesFile;
    };

    explicit RecordedRun(const Request &request, QObject *parent = nullptr);
    // "cannot write FILE: REASON" in the program's words ("-": standard output).
    static QString cannotWrite(const QString &fileName, const QString &reason);
    ~RecordedRun() override;

    // Opens the meter, then the files: false with the words, and
    // `noMeter` when the meter could not be opened.
    bool open(QString *words, bool *noMeter);
    // Opens the journal and attaches the files after its sink; the caller's
    // own sinks go after these, before begin().
    void attachFiles();
    // A file sink of the caller's whose faults end the run as the run's own.
    void adopt(FileRunSink *file) { m_files.push_back(file); }
    // Begins the run on the meter and starts its ticks.
    void begin();
    // The run is to end with this reason (a stop condition's, stopped,
    // unplugged); `failed` when a file could not be written. The first one
    // counts; finished() follows.
    void finish(const QString &reason, bool failed = false);
    // Ends the run as finish() said (stopped when it was not called): the
    // files are closed, then the journal's run ends.
    void close();

    RunSession &session() { return m_session; }
    LiveRun &run() { return m_session.run(); }
    RunRecorder &recorder() { return m_recorder; }
    const ProductInfo &product() const { return m_product; }
    const std::vector<FileRunSink *> &files() const { return m_files; }
    bool ending() const { return m_endReason.has_value(); }
    // What finish() said, empty before.
    QString endReason() const { return m_endReason.value_or(QString()); }
    bool failed() const { return m_failed; }
    // Whether the run went into the journal at its beginning.
    bool inJournal() const { return m_inJournal; }

signals:
    void said(const QString &words);
    void finished();
    // The end of each tick that did not end the run.
    void ticked();

private:
    Request m_request;
    RunRecorder m_recorder;
    RunSession m_session;
    ProductInfo m_product;
    std::vector<std::unique_ptr<FileRunSink>> m_opened;
    std::vector<FileRunSink *> m_files;
    std::optional<QString> m_endReason;
    bool m_failed = false;
    bool m_inJournal = false;
    bool m_closed = false;
};
