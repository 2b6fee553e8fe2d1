#include "recording/journalfile.h"

#include "recording/journalschema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

using journalschema::Stmt;

namespace {

// Whether a database file is cut short: shorter than its header, or ending
// inside a page. SQLite writes whole pages, so only a file cut by something
// else ends so; SQLite itself would read the missing bytes as zeros.
//
// The header is read through SQLite's own descriptor of the file. This
// process may hold a connection to it (the window records while a comparison
// reads), and closing any other descriptor of the file would drop every
// POSIX lock the process holds on it, SQLite's included: another program
// would then take itself for the last one and remove the -wal under us.
bool cutShort(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0 || st.st_size == 0)
        return false;   // SQLite gives the reason, or an empty database
    if (st.st_size < 100)
        return true;
    unsigned char head[100] = {};
    bool read = false;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_file *file = nullptr;
        if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file
            && file->pMethods)
            read = file->pMethods->xRead(file, head, int(sizeof head), 0) == SQLITE_OK;
    }
    sqlite3_close_v2(db);
    if (!read || std::memcmp(head, "SQLite format 3\0", 16) != 0)
        return false;   // not a database at all: SQLite says so
    int pageSize = (head[16] << 8) | head[17];
    if (pageSize == 1)
        pageSize = 65536;
    return pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || st.st_size % pageSize != 0;
}

// Whether a failed write found no room: the file system (nearly) full, or
// the database or its log at the size this process may give a file.
bool noRoom(const QString &path)
{
    struct statvfs fs;
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &fs) == 0
        && qint64(fs.f_bavail) * qint64(fs.f_frsize) < (qint64(1) << 20))
        return true;
    rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    const qint64 largest = qMax(QFileInfo(path).size(), QFileInfo(path + QStringLiteral("-wal")).size());
    return largest + (qint64(1) << 16) >= qint64(limit.rlim_cur);
}

} // namespace

JournalFile::FileKind JournalFile::fileKind(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::File;   // SQLite gives the reason
    if (S_ISREG(st.st_mode))
        return FileKind::File;
    if (S_ISDIR(st.st_mode))
        return FileKind::Folder;
    if (S_ISFIFO(st.st_mode))
        return FileKind::Pipe;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return FileKind::Device;
    return FileKind::Other;
}

const char *JournalFile::fileKindWords(FileKind kind)
{
    switch (kind) {
    case FileKind::Folder:
        return "a folder";
    case FileKind::Pipe:
        return "a named pipe";
    case FileKind::Device:
        return "a device";
    case FileKind::Other:
        return "a special file (a socket)";
    case FileKind::Missing:
        return "missing";
    case FileKind::File:
        break;
    }
    return "a file";
}

JournalFile::~JournalFile()
{
    close();
}

bool JournalFile::open(const QString &path, Mode mode)
{
    close();
    m_movedAside.clear();
    m_message.clear();
    m_detail.clear();
    m_notAFile = FileKind::File;
    m_unfinished.clear();
    m_additions = false;
    m_benches = false;
    m_readOnly = mode == Mode::Read;
    return openAt(path, false);
}

bool JournalFile::startAnew()
{
    return moveAside(false) && openAt(m_path, true);
}

void JournalFile::resetStatements()
{
    sqlite3_finalize(m_insertSample);
    sqlite3_finalize(m_putBlock);
    sqlite3_finalize(m_updateRun);
    m_insertSample = m_putBlock = m_updateRun = nullptr;
}

void JournalFile::close()
{
    resetStatements();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_additions = false;
    m_benches = false;
    m_status = Status::NotOpen;
}

void JournalFile::refuseFile(FileKind kind)
{
    m_notAFile = kind;
    m_status = Status::NotAFile;
    const QString db = QDir::toNativeSeparators(m_path);
    if (m_readOnly) {
        if (kind == FileKind::Folder)
            m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个文件夹，不是数据库文件").arg(db);
        else if (kind == FileKind::Pipe)
            m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个命名管道，不是数据库文件").arg(db);
        else
            m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个设备，不是数据库文件").arg(db);
        return;
    }
    if (kind == FileKind::Folder)
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个文件夹，不是文件：测量记录不会保存到磁盘。").arg(db);
    else if (kind == FileKind::Pipe)
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个命名管道，不是普通文件：测量记录不会保存到磁盘。").arg(db);
    else
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 是一个设备或套接字，不是普通文件：测量记录不会保存到磁盘。").arg(db);
}

bool JournalFile::openAt(const QString &path, bool fresh)
{
    m_path = path;
    // A folder, a named pipe or a device in its place is never opened: a
    // pipe would hold the program, and none of them is moved aside.
    const FileKind kind = fileKind(path);
    if (kind != FileKind::Missing && kind != FileKind::File) {
        refuseFile(kind);
        return false;
    }
    if (m_readOnly)
        return kind == FileKind::Missing ? openEmpty() : openForReading();
    if (!fresh && kind == FileKind::File && cutShort(path)) {
        if (moveAside(false))
            return openAt(path, true);
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        m_status = Status::FolderNotWritable;
        m_message = folderNotWritableMessage();
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    int rc = sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        if (m_status == Status::Failed) {
            m_status = Status::FolderNotWritable;
            m_message = folderNotWritableMessage();
        }
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Never hold the window for long: a database held by another program is
    // reported and the records written at a later tick.
    sqlite3_busy_timeout(m_db, m_busyMs > 0 ? m_busyMs : 40);
    m_lastRc = SQLITE_OK;
    if (!prepareSchema()) {
        if (!fresh && m_status == Status::MovedAside)
            return openAt(path, true);
        if (!fresh && m_db && isBroken(m_lastRc) && moveAside(false))
            return openAt(path, true);
        if (m_db) {
            resetStatements();
            sqlite3_close_v2(m_db);
            m_db = nullptr;
        }
        return false;
    }
    if (m_status != Status::MovedAside)   // that message stays for the tip line
        setOk();
    return true;
}

bool JournalFile::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(rc);
}

bool JournalFile::readSchema(qint64 &userVersion, qint64 &objectCount)
{
    {
        Stmt version(m_db, "PRAGMA user_version");
        if (!version.ok() || version.step() != SQLITE_ROW)
            return fail(version.rc);
        userVersion = version.i64(0);
    }
    Stmt objects(m_db, "SELECT count(*) FROM sqlite_schema");
    if (!objects.ok() || objects.step() != SQLITE_ROW)
        return fail(objects.rc);
    objectCount = objects.i64(0);
    return true;
}

bool JournalFile::readAdditions()
{
    Stmt q(m_db, journalschema::kHasAdditions);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return fail(q.rc);
    m_additions = q.i64(0) > 0;
    Stmt benches(m_db, journalschema::kHasBenches);
    if (!benches.ok() || benches.step() != SQLITE_ROW)
        return fail(benches.rc);
    m_benches = benches.i64(0) > 0;
    return true;
}

bool JournalFile::addAdditions()
{
    // A database an older program made, or wrote to: the additions are made
    // now, and marks of runs it removed are dropped. A database held by
    // another program is given them at a later opening; the runs are
    // written meanwhile, without marks.
    if (!readAdditions())
        return false;
    if (!m_additions) {
        if (!transaction(journalschema::kAdditions))
            return false;
        m_additions = true;
    } else if (!exec("DELETE FROM mark WHERE run NOT IN (SELECT id FROM run)")) {
        return false;
    }
    if (!transaction(journalschema::kBenchTables))
        return false;
    m_benches = true;
    return true;
}

bool JournalFile::transaction(const char *sql)
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return fail(rc);
    }
    if (!exec("COMMIT")) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

void JournalFile::setBusyTimeout(int ms)
{
    m_busyMs = ms;
    if (m_db)
        sqlite3_busy_timeout(m_db, ms);
}

bool JournalFile::openEmpty()
{
    // No database yet, or an empty file: nothing to read, and nothing made
    // on disk for it.
    int rc = sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_db, journalschema::kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_db, journalschema::kBenchTables, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    m_additions = true;
    m_benches = true;
    setOk();
    return true;
}

bool JournalFile::openForReading()
{
    auto damaged = [this] {
        m_status = Status::Damaged;
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 已损坏或不是数据库：读取时不作改动（记录时会将它移开并新建数据库）")
                        .arg(QDir::toNativeSeparators(m_path));
        return false;
    };
    auto closeDb = [this] {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    };
    if (cutShort(m_path))
        return damaged();
    qint64 userVersion = 0, objectCount = 0;
    auto openAs = [&](const QByteArray &name, int flags) {
        m_lastRc = sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READONLY | flags, nullptr);
        if (m_lastRc != SQLITE_OK) {
            fail(m_lastRc);
            closeDb();
            return false;
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, m_busyMs > 0 ? m_busyMs : 1000);
        if (!readSchema(userVersion, objectCount)) {
            closeDb();
            return false;
        }
        return true;
    };
    if (!openAs(QFile::encodeName(m_path), 0)) {
        const int base = m_lastRc & 0xff;
        if (isBroken(m_lastRc))
            return damaged();
        if (base == SQLITE_BUSY || base == SQLITE_LOCKED)
            return false;
        // Its -wal or -shm cannot be made or read (a read-only folder, a full
        // disk, a -wal deleted under its writer): the file as it is.
        const QByteArray uri = "file:" + QUrl::toPercentEncoding(m_path, "/") + "?immutable=1";
        if (!openAs(uri, SQLITE_OPEN_URI))
            return isBroken(m_lastRc) ? damaged() : false;
    }
    if (userVersion > kSchemaVersion) {
        closeDb();
        m_status = Status::Newer;
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 来自较新版本的程序。").arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    if (userVersion == 0) {
        closeDb();
        return objectCount > 0 ? damaged() : openEmpty();
    }
    std::vector<std::pair<qint64, qint64>> open;
    int rc = SQLITE_OK;
    {
        // Every page of the run table read once: a damaged one shows here.
        Stmt check(m_db, "SELECT count(*), sum(length(serial)) FROM run");
        if (!check.ok() || check.step() != SQLITE_ROW) {
            rc = check.rc;
        } else {
            Stmt live(m_db, "SELECT id, start_ms FROM run WHERE end_reason IS NULL");
            while (live.step() == SQLITE_ROW)
                open.emplace_back(live.i64(0), live.i64(1));
            if (live.rc != SQLITE_DONE)
                rc = live.rc;
        }
    }
    if (rc != SQLITE_OK) {
        fail(rc);
        closeDb();
        return isBroken(rc) ? damaged() : false;
    }
    if (!readAdditions()) {
        closeDb();
        return isBroken(m_lastRc) ? damaged() : false;
    }
    setOk();
    m_unfinished = std::move(open);
    return true;
}

bool JournalFile::prepareSchema()
{
    // Before anything is written, so a new file can give back what it frees.
    if (!exec("PRAGMA auto_vacuum = INCREMENTAL"))
        return false;
    qint64 userVersion = 0, objectCount = 0;
    if (!readSchema(userVersion, objectCount))
        return false;
    if (userVersion > kSchemaVersion || (userVersion == 0 && objectCount > 0)) {
        // From a newer program, or a database of something else.
        const bool newer = userVersion > kSchemaVersion;
        moveAside(newer);
        return false;
    }
    if (!exec("PRAGMA journal_mode = WAL") || !exec("PRAGMA synchronous = NORMAL")
        || !exec("PRAGMA journal_size_limit = 8388608"))
        return false;
    if (userVersion == 0) {
        const QByteArray create = QByteArray(journalschema::kSchema) + "PRAGMA user_version = "
                                  + QByteArray::number(kSchemaVersion) + ";";
        if (!transaction(create.constData()))
            return false;
    }
    QByteArray insert = "INSERT INTO sample(run, " + QByteArray(journalschema::kSampleColumns)
                        + ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    int rc = sqlite3_prepare_v2(m_db, insert.constData(), -1, &m_insertSample, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(m_db,
                                "INSERT OR REPLACE INTO block VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                                &m_putBlock, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(m_db, "UPDATE run SET t0_ms = ? WHERE id = ?", -1, &m_updateRun, nullptr);
    if (rc != SQLITE_OK)
        return fail(rc);
    // Every page of the run table read once: a damaged one shows here.
    {
        Stmt check(m_db, "SELECT count(*), sum(length(serial)) FROM run");
        if (!check.ok() || check.step() != SQLITE_ROW)
            return fail(check.rc);
    }
    if (!addAdditions()) {
        if (isBroken(m_lastRc))
            return false;
        setOk();   // the runs are kept all the same
    }
    return true;
}

bool JournalFile::isBroken(int rc)
{
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
}
bool JournalFile::moveAside(bool newer)
{
    resetStatements();
    if (m_db) {
        // Closed as it is: no checkpoint writes into the file being moved.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString target = m_path + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo::exists(target + QStringLiteral("-wal")); ++n)
        target = m_path + QStringLiteral(".broken-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(m_path, target)) {
        m_status = Status::Failed;
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 已损坏，且无法移走。").arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString from = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(from))
            QFile::rename(from, target + QLatin1String(suffix));
    }
    m_movedAside = target;
    m_status = Status::MovedAside;
    const QString where = QDir::toNativeSeparators(target);
    m_message = newer ? QCoreApplication::translate("RunJournal", "运行记录数据库来自较新版本的程序，已移至 %1，并新建了数据库。").arg(where)
                      : QCoreApplication::translate("RunJournal", "运行记录数据库已损坏或不是数据库，已移至 %1，并新建了数据库。").arg(where);
    return true;
}

bool JournalFile::fail(int rc)
{
    m_lastRc = rc;
    const int base = rc & 0xff;
    const int err = m_db ? sqlite3_system_errno(m_db) : 0;
    m_detail = QString::fromUtf8(m_db && sqlite3_errcode(m_db) == rc ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    if (m_readOnly && base != SQLITE_BUSY && base != SQLITE_LOCKED) {
        m_status = Status::Failed;
        m_message = QCoreApplication::translate("RunJournal", "无法读取运行记录数据库 %1：%2").arg(QDir::toNativeSeparators(m_path), m_detail);
        return false;
    }
    if ((base == SQLITE_BUSY || base == SQLITE_LOCKED) && m_readOnly) {
        m_status = Status::Locked;
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库 %1 正被另一个程序占用：请稍后再试")
                        .arg(QDir::toNativeSeparators(m_path));
    } else if (base == SQLITE_BUSY || base == SQLITE_LOCKED) {
        m_status = Status::Locked;
        m_message = QCoreApplication::translate("RunJournal", "运行记录数据库正被另一个程序占用：测量记录暂存在内存中，稍后补写。");
    } else if (base == SQLITE_FULL || (base == SQLITE_IOERR && (err == ENOSPC || err == EFBIG || err == EDQUOT))
               || (rc == SQLITE_IOERR_WRITE && noRoom(m_path))) {
        m_status = Status::DiskFull;
        m_message = QCoreApplication::translate("RunJournal", "磁盘已满：测量记录暂存在内存中，有空间后补写。");
    } else if (base == SQLITE_CANTOPEN || base == SQLITE_READONLY || base == SQLITE_PERM) {
        m_status = Status::FolderNotWritable;
        m_message = folderNotWritableMessage();
    } else {
        m_status = Status::Failed;
        m_message = QCoreApplication::translate("RunJournal", "无法写入运行记录数据库：%1")
                        .arg(QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
    }
    return false;
}

void JournalFile::setOk()
{
    m_status = Status::Ok;
    m_message.clear();
}

void JournalFile::setStatus(Status status, const QString &message)
{
    m_status = status;
    m_message = message;
}

QString JournalFile::folderNotWritableMessage() const
{
    return QCoreApplication::translate("RunJournal", "数据文件夹 %1 无法写入：测量记录不会保存到磁盘。")
        .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()));
}
