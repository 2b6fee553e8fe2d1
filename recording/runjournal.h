#pragma once

#include "recording/journalfile.h"
#include "recording/journalowners.h"
#include "recording/journalreader.h"
#include "recording/journalrecovery.h"
#include "recording/journalretention.h"
#include "recording/journalwriter.h"
#include "recording/runstats.h"

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <vector>

class ReadingLog;
class Setting;

// Runs of several meters recorded together: each member is an ordinary run
// of the journal, with the role its meter had.
struct JournalBench {
    struct Member {
        qint64 run = 0;
        QString role;     // "in", "out" or a name of the user's
        QString serial;
    };
    qint64 id = 0;
    QString name;
    qint64 startMs = 0;      // wall clock, ms since the epoch
    qint64 periodMs = 1000;  // the members' reporting period
    std::vector<Member> members;   // in the order of their runs
    // The member with this role, or null.
    const Member *member(const QString &role) const;
};

// Every run kept on disk as it is measured, in one SQLite database (WAL mode).
// The window's tick appends a record to its reading log and calls sync(),
// which writes the records the journal has not written yet in one
// transaction; when that fails (a full disk, the database held by another
// program) the records stay in the log and the next sync() catches up. A
// process killed at any moment loses at most the tick in progress.
//
// A run whose process died is closed as interrupted when the database is next
// opened. Each run being written holds an flock on a small file of its own
// next to the database (<db>.owners/run-<id>-<start>), so a second process on the same
// database tells a live run from a dead one.
//
// A database that is not one, is damaged (a file cut short included), or comes
// from a newer version of the program is moved aside as <name>.broken-<date>
// (with its -wal and -shm) and a new one is started. A name taken by a folder,
// a named pipe or a device is never opened. Faults are reported through
// status() and message(), a text for the window's tip line.
//
// The journal's parts: JournalFile opens the database and moves a damaged one
// aside, JournalRecovery closes the runs of dead processes, JournalOwners
// keeps the owners' locks, JournalWriter writes the runs of this program,
// JournalReader reads the runs back, JournalRetention keeps the size cap.
//
// Opened for reading (the command line's runs, export, stats) the journal
// never writes, moves or deletes anything: no recovery (a run whose process
// died reads as interrupted), no retention, a damaged file only reported; a
// database whose -wal or -shm cannot be made or read (a read-only folder, a
// full disk, a -wal deleted under its writer) is read as its file holds it.
class RunJournal
{
    Q_DECLARE_TR_FUNCTIONS(RunJournal)
public:
    using Status = JournalFile::Status;
    using Mode = JournalFile::Mode;
    using FileKind = JournalFile::FileKind;

    // End reasons; a stop condition met is its code (StopConditions::reason).
    static const char *const kStopped;
    static const char *const kUnplugged;
    static const char *const kInterrupted;

    static constexpr int kSchemaVersion = JournalFile::kSchemaVersion;
    static constexpr qint64 kDefaultSizeCap = JournalRetention::kDefaultSizeCap;
    static constexpr qint64 kLargestSizeCapMB = JournalRetention::kLargestSizeCapMB;
    // Settings key of the size cap, in MiB.
    static QString sizeCapKey();
    // The cap the settings file sets; the default when the key is not set,
    // or when its value is not a whole number of MiB from 1 to
    // kLargestSizeCapMB (that value in *badValue, else it is cleared).
    static qint64 sizeCapFromSettings(const Setting &settings, QString *badValue = nullptr);
    // The tip line's text about such a value.
    static QString badSizeCapMessage(const QString &value);

    // How a value is stored: in millionths of its unit, as the meter sends
    // it; fromMicro(toMicro(v)) == v for every value the meter can report.
    static qint64 toMicro(float value);
    static float fromMicro(qint64 micro);

    // runs.sqlite in the program's data folder.
    static QString defaultPath();

    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal &) = delete;
    RunJournal &operator=(const RunJournal &) = delete;

    // Opens (or creates) the database and closes the runs of dead processes;
    // for reading, opens what is there (a missing database is an empty one).
    bool open(Mode mode = Mode::Write);
    bool open(const QString &path, Mode mode = Mode::Write);
    void close();
    bool isOpen() const { return m_file.db() != nullptr; }
    QString path() const { return m_file.path(); }
    // Runs closed as interrupted by the last open().
    int recoveredRuns() const { return m_recovery.recovered(); }

    // A new run. The id is the run's row; while the database cannot take it
    // (held by another program, a full disk) the id is negative, and sync()
    // stores the run as soon as it can. 0 when no database is open.
    qint64 beginRun(qint64 startWallMs, const QString &model, const QString &version, const QString &serial);
    // Writes the records of `log` not written yet for this run. A run resumed
    // after a replug goes on with the same id and log.
    bool sync(qint64 runId, const ReadingLog &log);
    // The same for a log that holds the run's records from record
    // `logStart` on: a writer that keeps only what it has not written yet.
    // Records dropped before they were written fail the sync.
    bool sync(qint64 runId, const ReadingLog &log, int logStart);
    // Ends a run; sync() its last records first. An end that cannot be
    // written now is written at the next call that can.
    bool endRun(qint64 runId, qint64 endWallMs, const QString &reason);
    // The row id of a run begun as `runId` (they differ while it waits).
    qint64 storedId(qint64 runId) const;
    // Records of `runId` written so far.
    int written(qint64 runId) const;

    // Newest first.
    std::vector<JournalRun> runs();
    // The same, as the commands and the Python module list them: a run that
    // goes on has the duration of its records so far.
    std::vector<JournalRun> listedRuns();
    // The run's timeline at its first record and that record's wall-clock
    // time; false for a run that does not exist or has no record yet.
    bool timeline(qint64 id, qint64 &t0Ms, qint64 &firstWallMs);
    // Times of record i of a run, on its timeline and on the wall clock.
    bool recordTime(qint64 id, int i, qint64 &runMs, qint64 &wallMs);
    // Each moment of the run its wall clock showed wallMs, on the run's
    // timeline: more than one when the clock was set back during the run.
    // Records read in the same millisecond share their wall time: `latest`
    // takes the last of them (an interval's end), else the first (its start).
    std::vector<qint64> runTimesAtWall(qint64 id, qint64 wallMs, bool latest = true);
    // As JournalReader::load and loadColumn.
    bool load(qint64 id, ReadingLog &log, int first = 0, int last = INT_MAX);
    bool loadColumn(qint64 id, ReadingLog::Column column, std::vector<float> &values, std::vector<qint64> *runTimes);
    bool loadColumns(qint64 id, const std::vector<ReadingLog::Column> &columns,
                     const std::vector<std::vector<float> *> &values, std::vector<qint64> *runTimes);
    bool rename(qint64 id, const QString &name);

    // What a run is about: its notes and fields (JournalRun::fields). A run
    // begun here may be given as beginRun's id.
    bool setFields(qint64 id, const RunFields &fields);
    // The name and fields of a run begun here, given at its start: written
    // with its row, now or when the database takes it.
    bool describeRun(qint64 runId, const QString &name, const RunFields &fields);

    // Marks: named moments of a run, kept with it and removed with it. A run
    // begun here may be given as beginRun's id (a run still waiting for the
    // database takes no mark). In the order of their times.
    std::vector<RunMark> marks(qint64 runId);
    // A mark at atMs on the run's timeline from its first record, made at
    // wallMs on the wall clock. The mark's id; 0 when it cannot be written
    // (no such run, the database held too long by another program: see
    // status()).
    qint64 addMark(qint64 runId, qint64 atMs, qint64 wallMs, const QString &name);
    // A mark at wallMs for a run recorded by any program, this one or
    // another: placed on the run's timeline by its latest record's wall-clock
    // offset (the run's start before its first record). Its time in *atMs.
    qint64 addMarkAtWall(qint64 runId, qint64 wallMs, const QString &name, qint64 *atMs = nullptr);
    bool renameMark(qint64 markId, const QString &name);
    bool removeMark(qint64 markId);
    // Benches. A bench names runs begun here (beginRun's ids) or stored;
    // its id, 0 when it cannot be written (a member not stored yet, the
    // database held by another program, one opened for reading).
    qint64 addBench(const QString &name, qint64 startMs, qint64 periodMs,
                    const std::vector<JournalBench::Member> &members);
    // Newest first; a database without the bench tables has none.
    std::vector<JournalBench> benches();
    // The bench of that id, or of which the run is a member: id 0 for none.
    JournalBench bench(qint64 id);
    JournalBench benchOfRun(qint64 runId);

    // The newest run that goes on, in this program or another; 0 when none.
    qint64 newestRecording();
    // How long a statement waits for the database while another program
    // writes, from now and at the next open (the window waits little: its
    // tick writes again a second later).
    void setBusyTimeout(int ms) { m_file.setBusyTimeout(ms); }
    // A run that goes on, here or in another process, is not removed; one
    // whose process died is closed as interrupted first.
    bool remove(qint64 id);
    // Whether a run goes on: a program (this one or another) holds its
    // owner's lock.
    bool isRecording(qint64 id);
    // Statistics of the records between two times, both included: on the
    // run's timeline, or on the wall clock (taken as the run's timeline moved
    // by the offset of its first record).
    IntervalStats stats(qint64 id, qint64 fromMs, qint64 toMs, bool wallClock = false);
    // The same between record indices.
    IntervalStats statsOfRecords(qint64 id, int first, int last);

    // Oldest finished runs are removed while the database is bigger than the
    // cap, only runs older than the newest finished one, never a run that
    // goes on nor `keep` (the run that has just ended); the file shrinks.
    // Applied at open, at the start and end of a run. Returns how many runs
    // went now.
    void setSizeCap(qint64 bytes) { m_retention.setSizeCap(bytes); }
    qint64 sizeCap() const { return m_retention.sizeCap(); }
    int applyRetention(qint64 keep = 0);
    // Runs removed by retention since last asked, and the tip line's text.
    int takeRemovedRuns() { return m_retention.takeRemovedRuns(); }
    QString removedRunsMessage(int runs) const { return m_retention.removedRunsMessage(runs); }
    // True once, the first time the runs that must be kept were found over
    // the cap (they are kept); and the tip line's text.
    bool takeOverCap() { return m_retention.takeOverCap(); }
    QString overCapMessage() const { return m_retention.overCapMessage(); }

    Status status() const { return m_file.status(); }
    // Text for the tip line about the last fault, or empty.
    QString message() const { return m_file.message(); }
    // The system's words (SQLite's, in English) for the last fault.
    QString detail() const { return m_file.detail(); }
    // Where the last database moved aside went.
    QString movedAsidePath() const { return m_file.movedAsidePath(); }
    // What takes the database's name, for Status::NotAFile.
    FileKind notAFile() const { return m_file.notAFile(); }
    // What a path names (symbolic links followed).
    static FileKind fileKind(const QString &path);
    // Such a kind in English words for the command line: "a folder", ...
    static const char *fileKindWords(FileKind kind);

private:
    void opened();

    JournalFile m_file;
    JournalOwners m_owners{m_file};
    JournalReader m_reader{m_file};
    JournalRecovery m_recovery{m_file, m_owners, m_reader};
    JournalWriter m_writer{m_file, m_owners};
    JournalRetention m_retention{m_file};
};
