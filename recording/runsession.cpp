#include "recording/runsession.h"

#include "base/setting.h"
#include "recording/runsinks.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>
#include <QTimer>

RunSession::RunSession(QObject *parent) : QObject(parent)
{
    m_journal.setSizeCap(RunJournal::sizeCapFromSettings(Setting(), &m_badCap));
    if (!m_badCap.isEmpty())
        m_tip = RunJournal::badSizeCapMessage(m_badCap);
    m_sink = m_run.attach(std::make_unique<RunJournalSink>(m_journal));
    connect(&m_run, &LiveRun::sinkStatusChanged, this, [this](int i) {
        if (&m_run.sink(i) == m_sink)
            sayFault();
    });
    connect(&m_run, &LiveRun::begun, this, [this] {
        if (m_sink->runId())
            emit liveRunChanged(m_sink->storedId());
    });
    connect(&m_run, &LiveRun::recorded, this, [this] {
        // The journal is needed now: the run's records are to be kept.
        if (!m_opened) {
            openJournal();
            return;
        }
        sayRetention();
        if (m_sink->runId())
            emit liveRunGrew(int(m_run.records()));
    });
    connect(&m_run, &LiveRun::ended, this, [this] {
        if (!m_opened)
            return;
        sayRetention();
        emit liveRunChanged(0);
    });
}

RunSession::~RunSession() = default;

RunJournal &RunSession::journal()
{
    openJournal();
    return m_journal;
}

void RunSession::openJournal()
{
    if (m_opened)
        return;
    m_opened = true;
    m_journal.open();
    QStringList tips;
    if (!m_badCap.isEmpty())
        tips << RunJournal::badSizeCapMessage(m_badCap);
    if (!m_journal.message().isEmpty())
        tips << m_journal.message();
    if (const int recovered = m_journal.recoveredRuns())
        tips << QCoreApplication::translate("MainDialog", "上次有 %1 次运行未正常结束，已作为中断的运行保存在历史记录中。")
                    .arg(recovered);
    QStringList said;
    if (const int removed = m_journal.takeRemovedRuns())
        said << m_journal.removedRunsMessage(removed);
    if (m_journal.takeOverCap())
        said << m_journal.overCapMessage();
    tips << said.join(QLatin1Char(' '));
    tips.removeAll(QString());
    m_tip = tips.join(QLatin1Char(' '));
    // A run that began before is kept from its first record on.
    m_sink->adopt(m_run);
    const RunSink::Status status = m_sink->status();
    m_fault = status.state == RunSink::State::Fault ? status.message : QString();
    emit tipChanged();
    if (m_sink->runId()) {
        emit liveRunChanged(m_sink->storedId());
        emit liveRunGrew(int(m_run.records()));
    }
}

void RunSession::openAfterFirstPaint(QObject *window)
{
    window->installEventFilter(this);
}

bool RunSession::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_openPosted) {
        m_openPosted = true;
        watched->removeEventFilter(this);
        // Once the paint has been handled and shown.
        QTimer::singleShot(0, this, &RunSession::openJournal);
    }
    return false;
}

qint64 RunSession::storedRunId() const
{
    return m_sink->storedId();
}

void RunSession::catchUp()
{
    m_sink->catchUp(m_run);
}

void RunSession::describeNextRuns(const QString &name, const RunFields &fields)
{
    m_sink->describe(name, fields);
}

void RunSession::meterLost()
{
    m_run.pause();
}

bool RunSession::meterBack(const QString &serial)
{
    if (!m_run.paused() || m_run.meter().serial.isEmpty() || m_run.meter().serial != serial)
        return false;
    m_run.resume();
    return true;
}

void RunSession::sayFault()
{
    // A fault of the journal is said once while it lasts, and its end when
    // the journal has caught up; what the opening said stays until then.
    const RunSink::Status status = m_sink->status();
    const QString fault = status.state == RunSink::State::Fault ? status.message : QString();
    if (fault == m_fault)
        return;
    const bool recovered = fault.isEmpty() && m_journal.isOpen();
    m_fault = fault;
    m_tip = recovered ? QCoreApplication::translate("RunJournal", "运行记录数据库已赶上：至今的每条记录都已保存。") : fault;
    emit tipChanged();
}

void RunSession::sayRetention()
{
    // What the size cap did: runs removed, or the runs that must stay over it
    // (said once).
    QStringList said;
    if (const int removed = m_journal.takeRemovedRuns())
        said << m_journal.removedRunsMessage(removed);
    if (m_journal.takeOverCap())
        said << m_journal.overCapMessage();
    if (said.isEmpty())
        return;
    m_tip = said.join(QLatin1Char(' '));
    emit tipChanged();
}
