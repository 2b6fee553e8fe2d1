#pragma once

#include "base/regularfile.h"
#include "recording/journalreader.h"
#include "recording/liverun.h"

#include <QString>

#include <limits>
#include <memory>

class OutputFile;
class RunJournal;
class saveDataDeal;

// The run in the run journal, as it goes: each flush writes what the journal
// has not written yet in one transaction; while it cannot (a full disk, the
// database held by another program) the records wait in the run's log and
// the next flush catches up. A run ended before its first record leaves
// nothing. The journal is not the sink's: the window's history reads it too.
class RunJournalSink : public RunSink
{
public:
    explicit RunJournalSink(RunJournal &journal);

    void begun(const LiveRun &run) override;
    void recorded(const LiveRun &run) override;
    void ended(const LiveRun &run) override;
    // Without a run in the journal (none open) it holds back nothing.
    qint64 taken() const override { return m_run ? m_taken : std::numeric_limits<qint64>::max(); }

    // Writes what the journal misses now (before the run is read back).
    void catchUp(const LiveRun &run);
    // A run begun before the journal was opened: taken in now, with every
    // record its log holds.
    void adopt(const LiveRun &run);
    // The name and fields the next runs begin with.
    void describe(const QString &name, const RunFields &fields)
    {
        m_name = name;
        m_fields = fields;
    }
    RunJournal &journal() const { return m_journal; }
    // The run's id in the journal while it goes on (see RunJournal::beginRun), 0 for none.
    qint64 runId() const { return m_run; }
    qint64 storedId() const;
    // The journal's stored id of the run under way, or else of the last one
    // that ended, until the next begins; 0 for none.
    qint64 lastStoredId() const;
    // The last run that ended: its end is written; it is kept whole, its
    // end included.
    bool endWritten() const { return m_endWritten; }
    bool keptWhole() const { return m_keptWhole; }

private:
    void sync(const LiveRun &run);
    void updateStatus(const LiveRun &run, bool atEnd);
    // How long records may wait for a database another program holds
    // before the wait is a fault: a tick of the window's clock.
    static constexpr qint64 kWaitMs = 1000;

    RunJournal &m_journal;
    qint64 m_run = 0;
    qint64 m_lastRun = 0;   // m_run, kept after the end
    qint64 m_taken = 0;
    bool m_endWritten = false;
    bool m_keptWhole = false;
    QString m_name;
    RunFields m_fields;
};

// A file written as the run goes, through an OutputFile: a regular file (an
// existing one appended to), or with Accept::Streams a pipe, a device or
// standard output ("-"). A write that fails leaves the file ending with the
// last record written whole, and the records it missed are written at the
// next flush that can.
class FileRunSink : public RunSink
{
public:
    // Opens the file and writes its head; false with the reason.
    virtual bool open(QString *error) = 0;
    // Closes the file at the run's end; false with the reason when what was
    // written could not be kept.
    virtual bool close(QString *error) = 0;
    QString fileName() const { return m_fileName; }

    void recorded(const LiveRun &run) override;
    void ended(const LiveRun &run) override;
    qint64 taken() const override { return m_taken; }
    // The close at the end failed: why.
    QString closeError() const { return m_closeError; }

protected:
    explicit FileRunSink(const QString &fileName) : m_fileName(fileName) {}
    // Writes the log's records from `first` on; false with the reason.
    virtual bool append(const LiveRun &run, int first, QString *error, bool *readerGone) = 0;

private:
    QString m_fileName;
    qint64 m_taken = 0;
    bool m_closed = false;
    QString m_closeError;
};

// The CSV file of the run, in the window's format (saveDataDeal).
class CsvRunSink : public FileRunSink
{
public:
    CsvRunSink(const LiveRun &run, const QString &model, const QString &fileName,
               RegularFile::Accept accept = RegularFile::Accept::RegularFiles);
    ~CsvRunSink() override;
    bool open(QString *error) override;
    bool close(QString *error) override;

protected:
    bool append(const LiveRun &run, int first, QString *error, bool *readerGone) override;

private:
    std::unique_ptr<saveDataDeal> m_csv;
    RegularFile::Accept m_accept;
};

// A file of one line a record (JSON lines, InfluxDB line protocol), written
// whole records at a time.
class LineFileRunSink : public FileRunSink
{
public:
    ~LineFileRunSink() override;
    bool open(QString *error) override;
    bool close(QString *error) override;

protected:
    LineFileRunSink(const QString &fileName, RegularFile::Accept accept);
    // The lines of the log's records from `first` on, onto `out`.
    virtual void lines(QByteArray &out, const LiveRun &run, int first) const = 0;
    bool append(const LiveRun &run, int first, QString *error, bool *readerGone) final;

private:
    std::unique_ptr<OutputFile> m_file;
};

// JSON lines of the run, one object a record (JsonLines).
class JsonLinesRunSink : public LineFileRunSink
{
public:
    JsonLinesRunSink(const QString &fileName, RegularFile::Accept accept = RegularFile::Accept::RegularFiles)
        : LineFileRunSink(fileName, accept)
    {
    }

protected:
    void lines(QByteArray &out, const LiveRun &run, int first) const override;
};
