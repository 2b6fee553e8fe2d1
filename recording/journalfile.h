#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The run journal's database file: opening it (or creating it with its
// schema), opening it for reading only, moving a damaged one aside, and the
// journal's status after each step. The other parts of the journal work on
// the connection it holds and report their faults through it.
class JournalFile
{
public:
    enum class Status {
        Ok, NotOpen, FolderNotWritable, DiskFull, Locked, MovedAside, Failed,
        Damaged,    // read only: a damaged file, or not a database
        Newer,      // read only: from a newer version of the program
        NotAFile,   // the name is taken by a folder, a named pipe or a device: see notAFile()
    };
    enum class Mode { Write, Read };
    enum class FileKind { Missing, File, Folder, Pipe, Device, Other };

    static constexpr int kSchemaVersion = 1;

    // What a path names (symbolic links followed).
    static FileKind fileKind(const QString &path);
    // Such a kind in English words for the command line: "a folder", ...
    static const char *fileKindWords(FileKind kind);

    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    // Opens (or creates) the database, a damaged one moved aside first; for
    // reading, opens what is there (a missing database is an empty one).
    // Runs of dead processes are left to the caller.
    bool open(const QString &path, Mode mode);
    // After damage found while writing: the file moved aside and a new one
    // started under the same name.
    bool startAnew();
    void close();

    sqlite3 *db() const { return m_db; }
    QString path() const { return m_path; }
    bool readOnly() const { return m_readOnly; }
    // Whether the database has the run's notes and fields and the marks
    // (journalschema::kAdditions); one opened for writing is given them.
    bool hasAdditions() const { return m_additions; }
    // The bench tables (journalschema::kBenchTables).
    bool hasBenches() const { return m_benches; }
    // How long a statement waits for a database another process holds
    // (40 ms for writing, 1 s for reading unless set), from the next open on.
    void setBusyTimeout(int ms);
    // Read only: the runs without an end when the file was opened, as
    // (id, start_ms).
    const std::vector<std::pair<qint64, qint64>> &unfinished() const { return m_unfinished; }

    // Statements prepared at open for writing records: a record, a block of
    // statistics, a run's timeline.
    sqlite3_stmt *insertSample() const { return m_insertSample; }
    sqlite3_stmt *putBlock() const { return m_putBlock; }
    sqlite3_stmt *updateRun() const { return m_updateRun; }

    Status status() const { return m_status; }
    QString message() const { return m_message; }
    QString detail() const { return m_detail; }
    QString movedAsidePath() const { return m_movedAside; }
    FileKind notAFile() const { return m_notAFile; }
    // SQLite's code of the last fault.
    int lastRc() const { return m_lastRc; }

    // Runs one statement; false (the fault noted) when it fails.
    bool exec(const char *sql);
    // Notes SQLite's fault `rc` as the journal's status; always false.
    bool fail(int rc);
    void setOk();
    void setStatus(Status status, const QString &message);
    // The tip line's text about a data folder that cannot be written.
    QString folderNotWritableMessage() const;
    static bool isBroken(int rc);

private:
    bool openAt(const QString &path, bool fresh);
    bool openForReading();
    bool openEmpty();
    bool readSchema(qint64 &userVersion, qint64 &objectCount);
    bool readAdditions();
    bool addAdditions();
    // Statements in one transaction, rolled back when one fails.
    bool transaction(const char *sql);
    bool prepareSchema();
    void refuseFile(FileKind kind);
    bool moveAside(bool newer);
    void resetStatements();

    sqlite3 *m_db = nullptr;
    int m_lastRc = 0;
    QString m_path;
    bool m_readOnly = false;
    bool m_additions = false;
    bool m_benches = false;
    int m_busyMs = 0;   // 0: the mode's own
    FileKind m_notAFile = FileKind::File;
    std::vector<std::pair<qint64, qint64>> m_unfinished;
    sqlite3_stmt *m_insertSample = nullptr;
    sqlite3_stmt *m_putBlock = nullptr;
    sqlite3_stmt *m_updateRun = nullptr;
    Status m_status = Status::NotOpen;
    QString m_message;
    QString m_detail;
    QString m_movedAside;
};
