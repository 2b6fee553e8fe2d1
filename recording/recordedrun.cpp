#include "recording/recordedrun.h"

#include "recording/runjournal.h"
#include "recording/runsinks.h"

#include <QCoreApplication>

QString RecordedRun::cannotWrite(const QString &fileName, const QString &reason)
{
    const QString name = fileName == QLatin1String("-") ? QCoreApplication::translate("Cli", "标准输出") : fileName;
    return QCoreApplication::translate("Cli", "无法写入 %1：%2").arg(name, reason);
}

RecordedRun::RecordedRun(const Request &request, QObject *parent)
    : QObject(parent), m_request(request), m_recorder(request.meter)
{
    // The run keeps in memory only what its sinks have not taken yet.
    LiveRun &run = m_session.run();
    run.setKeepRecords(false);
    run.setConditions(request.conditions);
    // What the session says (the journal's faults, their end, what the size
    // cap did) in the window's words; a fault never ends the run.
    connect(&m_session, &RunSession::tipChanged, this, [this] {
        if (!m_session.tip().isEmpty())
            emit said(m_session.tip());
    });
    connect(&run, &LiveRun::sinkStatusChanged, this, [this](int i) {
        const RunSink &sink = m_session.run().sink(i);
        const auto mine = std::find(m_files.begin(), m_files.end(), &sink);
        if (mine == m_files.end())
            return;
        // A file that cannot be written ends the run; a reader that went
        // away (`| head`) ends it as stopped, quietly.
        const RunSink::Status status = sink.status();
        if (status.state == RunSink::State::Closed) {
            finish(QLatin1String(RunJournal::kStopped));
        } else if (status.state == RunSink::State::Fault && m_session.run().underWay()) {
            emit said(cannotWrite((*mine)->fileName(), status.message));
            finish(QLatin1String(RunJournal::kStopped), true);
        }
    });
    connect(&m_recorder, &RunRecorder::taken, &run, &LiveRun::add);
    connect(&m_recorder, &RunRecorder::recorded, &run, &LiveRun::flush);
    connect(&m_recorder, &RunRecorder::ticked, this, [this] {
        if (m_session.run().checkConditions(m_recorder.tickMs()))
            finish(m_session.run().endReason());
        else if (!ending())
            emit ticked();
    });
    // The meter's comings and goings, with the session's rule for a meter
    // that comes back.
    connect(&m_recorder, &RunRecorder::unplugged, this, [this] {
        m_session.meterLost();
        emit said(m_request.meter.exitOnUnplug
                      ? QCoreApplication::translate("Cli", "电表已拔出：运行结束")
                      : QCoreApplication::translate("Cli", "电表已拔出：等待它（序列号 %1）重新插上")
                            .arg(m_recorder.serialNumber()));
    });
    connect(&m_recorder, &RunRecorder::replugged, this, [this] {
        m_session.meterBack(m_recorder.serialNumber());
        emit said(QCoreApplication::translate("Cli", "电表已重新插上：运行继续"));
    });
    connect(&m_recorder, &RunRecorder::finished, this,
            [this] { finish(QLatin1String(RunJournal::kUnplugged)); });
}

RecordedRun::~RecordedRun()
{
    close();
}

bool RecordedRun::open(QString *words, bool *noMeter)
{
    *noMeter = false;
    QString node;
    const MeterOpen opened =
        openMeter(m_recorder.port(), kMeterVendorId, kMeterProductId, m_request.meter.serial, &node);
    if (opened != MeterOpen::Opened) {
        *noMeter = true;
        *words = meterOpenWords(opened, m_request.meter.serial, node);
        return false;
    }
    m_recorder.opened();
    m_product = parseProductString(m_recorder.product());
    LiveRun &run = m_session.run();
    if (!m_request.csvFile.isEmpty())
        m_opened.push_back(std::make_unique<CsvRunSink>(run, m_product.modelWord, m_request.csvFile,
                                                        RegularFile::Accept::Streams));
    if (!m_request.jsonLinesFile.isEmpty())
        m_opened.push_back(std::make_unique<JsonLinesRunSink>(m_request.jsonLinesFile, RegularFile::Accept::Streams));
    for (const auto &file : m_opened) {
        QString reason;
        if (!file->open(&reason)) {
            *words = cannotWrite(file->fileName(), reason);
            return false;
        }
    }
    return true;
}

void RecordedRun::attachFiles()
{
    m_session.openJournal();
    m_session.describeNextRuns(m_request.name, m_request.fields);
    for (auto &file : m_opened)
        m_files.push_back(m_session.run().attach(std::move(file)));
    m_opened.clear();
}

void RecordedRun::begin()
{
    LiveRun &run = m_session.run();
    run.begin({m_product.modelWord, m_product.versionWord, m_recorder.serialNumber()});
    m_inJournal = m_session.journalSink().runId() != 0;
    run.armConditions();
    m_recorder.start();
}

void RecordedRun::finish(const QString &reason, bool failed)
{
    if (m_endReason)
        return;
    m_endReason = reason;
    m_failed = failed;
    m_recorder.stop();
    emit finished();
}

void RecordedRun::close()
{
    if (m_closed || !m_session.run().underWay())
        return;
    m_closed = true;
    m_recorder.stop();
    // Unless a stop condition ended it: the files are closed, then the
    // journal's run ends (as unplugged when the meter is out, as the
    // window's does).
    if (!m_endReason || *m_endReason == QLatin1String(RunJournal::kStopped))
        m_session.run().stop();
    else
        m_session.run().end(*m_endReason);
}
