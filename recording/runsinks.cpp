#include "recording/runsinks.h"

#include "recording/jsonlines.h"
#include "recording/newfile.h"
#include "recording/runjournal.h"
#include "recording/savedatadeal.h"

// ---------------------------------------------------------------- journal

RunJournalSink::RunJournalSink(RunJournal &journal) : m_journal(journal) {}

void RunJournalSink::updateStatus(const LiveRun &run, bool atEnd)
{
    const RunJournal::Status status = m_journal.status();
    bool fault = status != RunJournal::Status::Ok && status != RunJournal::Status::NotOpen;
    if (fault && status == RunJournal::Status::Locked && !atEnd) {
        // Another program writing for a moment (`ombrel mark`) is no fault:
        // only records kept waiting a tick or more are.
        const int first = int(m_taken - run.logStart()), last = run.log().size() - 1;
        fault = first >= 0 && first <= last && run.log().runMs(last) - run.log().runMs(first) >= kWaitMs;
    }
    if (fault)
        setStatus(State::Fault, m_journal.message());
    else
        setStatus(State::Ok);
}

void RunJournalSink::begun(const LiveRun &run)
{
    m_run = 0;
    m_lastRun = 0;
    m_taken = 0;
    m_endWritten = false;
    m_keptWhole = false;
    if (!m_journal.isOpen())
        return;   // nothing to keep it in: the run goes on without it
    m_run = m_journal.beginRun(run.startWallMs(), run.meter().model, run.meter().version, run.meter().serial);
    m_lastRun = m_run;
    if (m_run && (!m_name.isEmpty() || !(m_fields == RunFields())))
        m_journal.describeRun(m_run, m_name, m_fields);
    sync(run);
}

void RunJournalSink::sync(const LiveRun &run)
{
    if (!m_run)
        return;
    m_journal.sync(m_run, run.log(), int(run.logStart()));
    m_taken = m_journal.written(m_run);
    updateStatus(run, false);
}

void RunJournalSink::recorded(const LiveRun &run)
{
    sync(run);
}

void RunJournalSink::catchUp(const LiveRun &run)
{
    if (run.underWay())
        sync(run);
}

void RunJournalSink::adopt(const LiveRun &run)
{
    if (!m_run && run.underWay() && run.logStart() == 0)
        begun(run);
}

qint64 RunJournalSink::storedId() const
{
    return m_run ? m_journal.storedId(m_run) : 0;
}

qint64 RunJournalSink::lastStoredId() const
{
    return m_lastRun ? m_journal.storedId(m_lastRun) : 0;
}

void RunJournalSink::ended(const LiveRun &run)
{
    if (!m_run)
        return;
    sync(run);
    const qint64 stored = m_journal.storedId(m_run);
    const bool whole = m_journal.written(m_run) >= run.records();
    m_endWritten = m_journal.endRun(m_run, run.endWallMs(), run.endReason());
    m_keptWhole = whole && m_endWritten;
    // A run without a single record (Run pressed twice) leaves nothing.
    if (m_endWritten && run.records() == 0 && stored > 0) {
        m_journal.remove(stored);
        m_lastRun = 0;
    }
    m_run = 0;
    updateStatus(run, true);
}

// ---------------------------------------------------------------- files

void FileRunSink::recorded(const LiveRun &run)
{
    if (m_closed || status().state == State::Closed) {
        m_taken = run.records();
        return;
    }
    const qint64 first = m_taken - run.logStart();
    if (first < 0 || first >= run.log().size())
        return;
    QString error;
    bool readerGone = false;
    if (!append(run, int(first), &error, &readerGone)) {
        if (readerGone) {
            // Nobody reads it any more: what comes is not kept for it.
            setStatus(State::Closed);
            m_taken = run.records();
        } else {
            setStatus(State::Fault, error);
        }
        return;
    }
    m_taken = run.records();
    setStatus(State::Ok);
}

void FileRunSink::ended(const LiveRun &)
{
    if (m_closed)
        return;
    m_closed = true;
    if (!close(&m_closeError) && status().state == State::Ok)
        setStatus(State::Fault, m_closeError);
}

CsvRunSink::CsvRunSink(const LiveRun &run, const QString &model, const QString &fileName,
                       RegularFile::Accept accept)
    : FileRunSink(fileName), m_csv(new saveDataDeal(run.log(), model)), m_accept(accept)
{
}

CsvRunSink::~CsvRunSink() = default;

bool CsvRunSink::open(QString *error)
{
    return m_csv->open(fileName(), error, m_accept);
}

bool CsvRunSink::append(const LiveRun &, int first, QString *error, bool *readerGone)
{
    const bool ok = m_csv->appendRecords(first, error);
    *readerGone = !ok && m_csv->readerGone();
    return ok;
}

bool CsvRunSink::close(QString *error)
{
    return m_csv->close(error);
}

LineFileRunSink::LineFileRunSink(const QString &fileName, RegularFile::Accept accept)
    : FileRunSink(fileName), m_file(new OutputFile(fileName, OutputFile::Mode::AsItGoes, accept))
{
}

LineFileRunSink::~LineFileRunSink() = default;

bool LineFileRunSink::open(QString *error)
{
    return m_file->open(error);
}

bool LineFileRunSink::append(const LiveRun &run, int first, QString *error, bool *readerGone)
{
    QByteArray out;
    lines(out, run, first);
    if (!m_file->write(out, error)) {
        *readerGone = m_file->readerGone();
        return false;
    }
    m_file->keep();
    return true;
}

bool LineFileRunSink::close(QString *error)
{
    return m_file->commit(error);
}

void JsonLinesRunSink::lines(QByteArray &out, const LiveRun &run, int first) const
{
    for (int i = first; i < run.log().size(); ++i)
        JsonLines::appendRecord(out, run.log(), i);
}
