#include "recording/runjournal.h"

#include "base/setting.h"
#include "recording/readinglog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

const char *const RunJournal::kStopped = "stopped";
const char *const RunJournal::kUnplugged = "unplugged";
const char *const RunJournal::kInterrupted = "interrupted";

namespace {

constexpr int B = RunStats::kBlock;

// The schema. Records are kept as integers in millionths of the unit, as the
// meter sends them, which reads back as the very float it was recorded as and
// takes 3 or 4 bytes a value instead of 8. A record's time on the run's
// timeline is t0_ms + 1000 * i + lag_ms, its wall-clock time that plus
// skew_ms: both are a byte or two while the ticks keep their pace.
const char kSchema[] = R"(
CREATE TABLE run(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  start_ms INTEGER NOT NULL,
  end_ms INTEGER,
  end_reason TEXT,
  name TEXT NOT NULL DEFAULT '',
  model TEXT NOT NULL DEFAULT '',
  version TEXT NOT NULL DEFAULT '',
  serial TEXT NOT NULL DEFAULT '',
  t0_ms INTEGER,
  records INTEGER NOT NULL DEFAULT 0,
  duration_s REAL, charge_ah REAL, energy_wh REAL,
  vbus_max REAL, ibus_max REAL, power_max REAL,
  cap_start_ah REAL, cap_end_ah REAL, ele_start_wh REAL, ele_end_wh REAL);
CREATE TABLE sample(
  run INTEGER NOT NULL, i INTEGER NOT NULL, lag_ms INTEGER NOT NULL, skew_ms INTEGER NOT NULL,
  vbus_uv INTEGER NOT NULL, ibus_ua INTEGER NOT NULL, power_uw INTEGER NOT NULL,
  dp_uv INTEGER NOT NULL, dm_uv INTEGER NOT NULL, cc1_uv INTEGER NOT NULL, cc2_uv INTEGER NOT NULL,
  cap_uah INTEGER NOT NULL, ele_uwh INTEGER NOT NULL, temp_uc INTEGER NOT NULL,
  PRIMARY KEY(run, i)) WITHOUT ROWID;
CREATE TABLE block(
  run INTEGER NOT NULL, b INTEGER NOT NULL, records INTEGER NOT NULL,
  weight_ms REAL NOT NULL, vbus_vms REAL NOT NULL, ibus_ams REAL NOT NULL, power_wms REAL NOT NULL,
  vbus_sum REAL NOT NULL, ibus_sum REAL NOT NULL, power_sum REAL NOT NULL,
  vbus_min REAL NOT NULL, vbus_max REAL NOT NULL, ibus_min REAL NOT NULL, ibus_max REAL NOT NULL,
  power_min REAL NOT NULL, power_max REAL NOT NULL,
  PRIMARY KEY(run, b)) WITHOUT ROWID;
CREATE VIEW reading AS
  SELECT s.run AS run, s.i AS i,
         r.t0_ms + 1000 * s.i + s.lag_ms AS run_ms,
         r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms AS wall_ms,
         strftime('%Y-%m-%d %H:%M:%f', (r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) / 1000.0, 'unixepoch', 'localtime') AS time,
         s.vbus_uv / 1e6 AS vbus_v, s.ibus_ua / 1e6 AS ibus_a, s.power_uw / 1e6 AS power_w,
         s.dp_uv / 1e6 AS dp_v, s.dm_uv / 1e6 AS dm_v, s.cc1_uv / 1e6 AS cc1_v, s.cc2_uv / 1e6 AS cc2_v,
         s.cap_uah / 1e6 AS cap_ah, s.ele_uwh / 1e6 AS ele_wh, s.temp_uc / 1e6 AS temp_c
  FROM sample s JOIN run r ON r.id = s.run;
)";

// Records of a run: counted at its end, from its blocks while it goes on.
const QByteArray kRecords = "CASE WHEN end_reason IS NULL THEN (SELECT ifnull(sum(records), 0) FROM block "
                            "WHERE block.run = run.id) ELSE records END";

const char kSampleColumns[] = "i, lag_ms, skew_ms, vbus_uv, ibus_ua, power_uw, dp_uv, dm_uv, cc1_uv, cc2_uv, "
                              "cap_uah, ele_uwh, temp_uc";

struct Stmt {
    sqlite3_stmt *s = nullptr;
    int rc = SQLITE_OK;
    Stmt(sqlite3 *db, const char *sql) { rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Stmt() { sqlite3_finalize(s); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    bool ok() const { return rc == SQLITE_OK; }
    int step()
    {
        rc = sqlite3_step(s);
        return rc;
    }
    qint64 i64(int c) const { return sqlite3_column_int64(s, c); }
    double real(int c) const { return sqlite3_column_double(s, c); }
    QString text(int c) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, c)), sqlite3_column_bytes(s, c));
    }
    bool null(int c) const { return sqlite3_column_type(s, c) == SQLITE_NULL; }
};

// A run's summary figures into parameters at .. at + 5 of an UPDATE of the
// run row: duration_s, charge_ah, energy_wh, vbus_max, ibus_max, power_max.
void bindSummary(sqlite3_stmt *s, int at, const IntervalStats &stats)
{
    const double figures[] = {stats.duration_s, stats.charge_ah, stats.energy_wh,
                              stats.vbus.max,   stats.ibus.max,  stats.power.max};
    for (double f : figures)
        sqlite3_bind_double(s, at++, f);
}

void bindText(sqlite3_stmt *s, int i, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
}

RunStats::Sample sampleFromRow(const Stmt &q, qint64 t0)
{
    // Columns as kSampleColumns.
    RunStats::Sample s;
    s.runMs = t0 + 1000 * q.i64(0) + q.i64(1);
    s.value[RunStats::Vbus] = RunJournal::fromMicro(q.i64(3));
    s.value[RunStats::Ibus] = RunJournal::fromMicro(q.i64(4));
    s.value[RunStats::Power] = RunJournal::fromMicro(q.i64(5));
    s.cap = RunJournal::fromMicro(q.i64(10));
    s.ele = RunJournal::fromMicro(q.i64(11));
    return s;
}

// Whether a database file is cut short: shorter than its header, or ending
// inside a page. SQLite writes whole pages, so only a file cut by something
// else ends so; SQLite itself would read the missing bytes as zeros.
bool cutShort(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    if (size == 0)
        return false;   // an empty database
    const QByteArray head = f.read(100);
    if (head.size() < 100)
        return true;
    if (!head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return false;   // not a database at all: SQLite says so
    int pageSize = (uchar(head[16]) << 8) | uchar(head[17]);
    if (pageSize == 1)
        pageSize = 65536;
    return pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || size % pageSize != 0;
}

} // namespace

struct RunJournal::Active {
    qint64 dbId = 0;
    qint64 startMs = 0;
    QString model, version, serial;
    int written = 0;
    qint64 t0 = 0;
    RunStats stats;
    int lockFd = -1;
    bool ended = false;
    qint64 endMs = 0;
    QString reason;
};

qint64 RunJournal::toMicro(float value)
{
    if (!std::isfinite(value))
        return 0;
    return std::llround(qBound(-9.0e12, double(value) * 1e6, 9.0e12));
}

float RunJournal::fromMicro(qint64 micro)
{
    return float(double(micro) / 1e6);
}

QString RunJournal::sizeCapKey()
{
    return QStringLiteral("RunDatabaseLimitMB");
}

qint64 RunJournal::sizeCapFromSettings(const Setting &settings, QString *badValue)
{
    if (badValue)
        badValue->clear();
    const QString text = settings.read(sizeCapKey()).trimmed();
    if (text.isEmpty())
        return kDefaultSizeCap;
    bool ok = false;
    const qint64 mb = text.toLongLong(&ok);
    if (ok && mb > 0 && mb <= kLargestSizeCapMB)
        return mb << 20;
    if (badValue)
        *badValue = text;
    return kDefaultSizeCap;
}

QString RunJournal::badSizeCapMessage(const QString &value)
{
    return tr("设置文件中 %1 的值“%2”无效（应为 1 到 %3 之间的整数，单位 MB）：运行记录数据库的上限使用默认的 %4 MB。")
        .arg(sizeCapKey(), value)
        .arg(kLargestSizeCapMB)
        .arg(kDefaultSizeCap >> 20);
}

RunJournal::FileKind RunJournal::fileKind(const QString &path)
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

QString RunJournal::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/runs.sqlite");
}

RunJournal::RunJournal() = default;

RunJournal::~RunJournal()
{
    close();
}

bool RunJournal::open(Mode mode)
{
    return open(defaultPath(), mode);
}

bool RunJournal::open(const QString &path, Mode mode)
{
    close();
    m_recovered = 0;
    m_movedAside.clear();
    m_message.clear();
    m_detail.clear();
    m_notAFile = FileKind::File;
    m_readOnly = mode == Mode::Read;
    return openAt(path, false);
}

void RunJournal::resetStatements()
{
    sqlite3_finalize(m_insertSample);
    sqlite3_finalize(m_putBlock);
    sqlite3_finalize(m_updateRun);
    m_insertSample = m_putBlock = m_updateRun = nullptr;
}

void RunJournal::close()
{
    if (m_db)
        retryEnds();
    for (auto &entry : m_active) {
        Active &a = *entry.second;
        if (a.lockFd >= 0)
            ::close(a.lockFd);   // the run stays open: the next open() closes it as interrupted
    }
    m_active.clear();
    m_closed.clear();
    resetStatements();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_status = Status::NotOpen;
}

const char *RunJournal::fileKindWords(FileKind kind)
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

void RunJournal::refuseFile(FileKind kind)
{
    m_notAFile = kind;
    m_status = Status::NotAFile;
    const QString db = QDir::toNativeSeparators(m_path);
    if (kind == FileKind::Folder)
        m_message = tr("运行记录数据库 %1 是一个文件夹，不是文件：测量记录不会保存到磁盘。").arg(db);
    else if (kind == FileKind::Pipe)
        m_message = tr("运行记录数据库 %1 是一个命名管道，不是普通文件：测量记录不会保存到磁盘。").arg(db);
    else
        m_message = tr("运行记录数据库 %1 是一个设备或套接字，不是普通文件：测量记录不会保存到磁盘。").arg(db);
}

bool RunJournal::openAt(const QString &path, bool fresh)
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
        m_message = tr("数据文件夹 %1 无法写入：测量记录不会保存到磁盘。").arg(QDir::toNativeSeparators(folder));
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
            m_message = tr("数据文件夹 %1 无法写入：测量记录不会保存到磁盘。").arg(QDir::toNativeSeparators(folder));
        }
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Never hold the window for long: a database held by another program is
    // reported and the records written at a later tick.
    sqlite3_busy_timeout(m_db, 40);
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
    recover();
    applyRetention();
    return true;
}

bool RunJournal::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(rc);
}

bool RunJournal::readSchema(qint64 &userVersion, qint64 &objectCount)
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

bool RunJournal::openEmpty()
{
    // No database yet, or an empty file: nothing to read, and nothing made
    // on disk for it.
    int rc = sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    setOk();
    return true;
}

bool RunJournal::openForReading()
{
    auto damaged = [this] {
        m_status = Status::Damaged;
        m_message = tr("运行记录数据库 %1 已损坏或不是数据库。").arg(QDir::toNativeSeparators(m_path));
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
        sqlite3_busy_timeout(m_db, 1000);
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
        m_message = tr("运行记录数据库 %1 来自较新版本的程序。").arg(QDir::toNativeSeparators(m_path));
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
    setOk();
    // A run whose process died reads as the next writer will close it.
    for (const auto &run : open) {
        if (!ownerLives(run.first, run.second, false))
            m_closed[run.first] = closedRun(run.first);
    }
    return true;
}

bool RunJournal::prepareSchema()
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
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        const QByteArray create = QByteArray(kSchema) + "PRAGMA user_version = " + QByteArray::number(kSchemaVersion) + ";";
        const int rc = sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(rc);
        }
        if (!exec("COMMIT"))
            return false;
    }
    QByteArray insert = "INSERT INTO sample(run, " + QByteArray(kSampleColumns) + ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
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
    Stmt check(m_db, "SELECT count(*), sum(length(serial)) FROM run");
    if (!check.ok() || check.step() != SQLITE_ROW)
        return fail(check.rc);
    return true;
}

bool RunJournal::isBroken(int rc) const
{
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
}

bool RunJournal::moveAside(bool newer)
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
        m_message = tr("运行记录数据库 %1 已损坏，且无法移走。").arg(QDir::toNativeSeparators(m_path));
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
    m_message = newer ? tr("运行记录数据库来自较新版本的程序，已移至 %1，并新建了数据库。").arg(where)
                      : tr("运行记录数据库已损坏或不是数据库，已移至 %1，并新建了数据库。").arg(where);
    return true;
}

// Whether a failed write found no room: the file system (nearly) full, or
// the database or its log at the size this process may give a file.
static bool noRoom(const QString &path)
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

bool RunJournal::fail(int rc)
{
    m_lastRc = rc;
    const int base = rc & 0xff;
    const int err = m_db ? sqlite3_system_errno(m_db) : 0;
    m_detail = QString::fromUtf8(m_db && sqlite3_errcode(m_db) == rc ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    if (m_readOnly && base != SQLITE_BUSY && base != SQLITE_LOCKED) {
        m_status = Status::Failed;
        m_message = tr("无法读取运行记录数据库 %1：%2").arg(QDir::toNativeSeparators(m_path), m_detail);
        return false;
    }
    if (base == SQLITE_BUSY || base == SQLITE_LOCKED) {
        m_status = Status::Locked;
        m_message = tr("运行记录数据库正被另一个程序占用：测量记录暂存在内存中，稍后补写。");
    } else if (base == SQLITE_FULL || (base == SQLITE_IOERR && (err == ENOSPC || err == EFBIG || err == EDQUOT))
               || (rc == SQLITE_IOERR_WRITE && noRoom(m_path))) {
        m_status = Status::DiskFull;
        m_message = tr("磁盘已满：测量记录暂存在内存中，有空间后补写。");
    } else if (base == SQLITE_CANTOPEN || base == SQLITE_READONLY || base == SQLITE_PERM) {
        m_status = Status::FolderNotWritable;
        m_message = tr("数据文件夹 %1 无法写入：测量记录不会保存到磁盘。")
                        .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()));
    } else {
        m_status = Status::Failed;
        m_message = tr("无法写入运行记录数据库：%1")
                        .arg(QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
    }
    return false;
}

void RunJournal::setOk()
{
    m_status = Status::Ok;
    m_message.clear();
}

QString RunJournal::lockPath(qint64 id, qint64 startMs) const
{
    // The start time too: a database started anew after one was moved aside
    // gives out the same ids again while the old runs' owners may live on.
    return m_path + QStringLiteral(".owners/run-") + QString::number(id) + QLatin1Char('-') + QString::number(startMs);
}

bool RunJournal::lockRunFile(const QString &path, int &fd)
{
    QDir().mkpath(m_path + QStringLiteral(".owners"));
    const QByteArray name = QFile::encodeName(path);
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

bool RunJournal::storeRun(Active &a)
{
    Stmt q(m_db, "INSERT INTO run(start_ms, model, version, serial) VALUES(?,?,?,?)");
    sqlite3_bind_int64(q.s, 1, a.startMs);
    bindText(q.s, 2, a.model);
    bindText(q.s, 3, a.version);
    bindText(q.s, 4, a.serial);
    if (q.step() != SQLITE_DONE)
        return fail(q.rc);
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    // Taken before the row is committed: no other process sees the run
    // without its owner's lock.
    if (!lockRunFile(lockPath(id, a.startMs), a.lockFd)) {
        m_status = Status::FolderNotWritable;
        m_message = tr("数据文件夹 %1 无法写入：测量记录不会保存到磁盘。")
                        .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()));
        return false;
    }
    a.dbId = id;
    return true;
}

qint64 RunJournal::beginRun(qint64 startWallMs, const QString &model, const QString &version, const QString &serial)
{
    if (!m_db || m_readOnly)
        return 0;
    retryEnds();
    applyRetention();
    std::unique_ptr<Active> a(new Active);
    a->startMs = startWallMs;
    a->model = model;
    a->version = version;
    a->serial = serial;
    qint64 handle = 0;
    if (exec("BEGIN IMMEDIATE")) {
        if (storeRun(*a) && exec("COMMIT")) {
            handle = a->dbId;
            setOk();
        } else {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            if (a->lockFd >= 0) {
                ::unlink(QFile::encodeName(lockPath(a->dbId, a->startMs)).constData());
                ::close(a->lockFd);
                a->lockFd = -1;
            }
            a->dbId = 0;
        }
    }
    if (!handle)
        handle = m_nextPending--;
    m_active[handle] = std::move(a);
    return handle;
}

qint64 RunJournal::storedId(qint64 runId) const
{
    auto it = m_active.find(runId);
    return it == m_active.end() ? (runId > 0 ? runId : 0) : it->second->dbId;
}

int RunJournal::written(qint64 runId) const
{
    auto it = m_active.find(runId);
    return it == m_active.end() ? 0 : it->second->written;
}

bool RunJournal::sync(qint64 runId, const ReadingLog &log)
{
    return sync(runId, log, 0);
}

bool RunJournal::sync(qint64 runId, const ReadingLog &log, int logStart)
{
    auto it = m_active.find(runId);
    if (it == m_active.end() || !m_db)
        return false;
    Active &a = *it->second;
    retryEnds();
    const int n = logStart + log.size();
    if (n <= a.written && a.dbId)
        return true;
    if (a.written < logStart) {
        // Records dropped before they were written: none can follow them.
        m_status = Status::Failed;
        m_message = tr("无法写入运行记录数据库：%1")
                        .arg(QStringLiteral("%1 records were dropped before they were written").arg(logStart - a.written));
        return false;
    }
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    const bool stored = a.dbId != 0;
    const int old = a.written;
    bool ok = stored || storeRun(a);
    if (ok && old == 0 && n > 0)
        a.t0 = log.runMs(0);
    for (int k = old; ok && k < n; ++k) {
        sqlite3_stmt *s = m_insertSample;
        const int at = k - logStart;
        const qint64 runMs = log.runMs(at);
        sqlite3_bind_int64(s, 1, a.dbId);
        sqlite3_bind_int64(s, 2, k);
        sqlite3_bind_int64(s, 3, runMs - a.t0 - 1000 * qint64(k));
        sqlite3_bind_int64(s, 4, log.timeMs(at) - runMs);
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            sqlite3_bind_int64(s, 5 + c, toMicro(log.value(ReadingLog::Column(c), at)));
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            ok = fail(rc);
        else
            a.stats.append(log, at);
    }
    for (int b = old / B; ok && n > 0 && b <= (n - 1) / B; ++b) {
        const RunStats::Block &block = a.stats.blocks()[size_t(b)];
        sqlite3_stmt *s = m_putBlock;
        sqlite3_bind_int64(s, 1, a.dbId);
        sqlite3_bind_int64(s, 2, b);
        sqlite3_bind_int64(s, 3, block.count);
        sqlite3_bind_double(s, 4, block.start.weightMs);
        for (int c = 0; c < RunStats::ChannelCount; ++c) {
            sqlite3_bind_double(s, 5 + c, block.start.integral[c]);
            sqlite3_bind_double(s, 8 + c, block.start.plain[c]);
            sqlite3_bind_double(s, 11 + 2 * c, double(block.min[c]));
            sqlite3_bind_double(s, 12 + 2 * c, double(block.max[c]));
        }
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            ok = fail(rc);
    }
    // The run row is written at its first records and at its end only: a tick
    // touches two pages, the last of the records and the last block.
    if (ok && old == 0) {
        sqlite3_bind_int64(m_updateRun, 1, a.t0);
        sqlite3_bind_int64(m_updateRun, 2, a.dbId);
        const int rc = sqlite3_step(m_updateRun);
        sqlite3_reset(m_updateRun);
        ok = rc == SQLITE_DONE || fail(rc);
    }
    if (ok)
        ok = exec("COMMIT");
    if (!ok) {
        const int rc = m_lastRc;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        a.stats.truncate(old);
        if (!stored && a.dbId) {
            ::unlink(QFile::encodeName(lockPath(a.dbId, a.startMs)).constData());
            ::close(a.lockFd);
            a.lockFd = -1;
            a.dbId = 0;
        }
        if (isBroken(rc)) {
            // Damaged under us: moved aside, and every run of this process is
            // written anew into a new database from its log.
            if (moveAside(false) && openAt(m_path, true)) {
                for (auto &entry : m_active) {
                    Active &other = *entry.second;
                    if (other.lockFd >= 0)
                        ::close(other.lockFd);
                    other.lockFd = -1;
                    other.dbId = 0;
                    other.written = 0;
                    other.stats.clear();
                }
                const Status status = m_status;
                const QString message = m_message;
                const bool again = sync(runId, log, logStart);
                m_status = status;
                m_message = message;
                return again;
            }
        }
        return false;
    }
    a.written = n;
    setOk();
    return true;
}

bool RunJournal::writeEnd(Active &a)
{
    if (!a.dbId)
        return false;
    const IntervalStats s = a.stats.total();
    Stmt q(m_db, "UPDATE run SET end_ms = ?, end_reason = ?, records = ?, duration_s = ?, charge_ah = ?, "
                 "energy_wh = ?, vbus_max = ?, ibus_max = ?, power_max = ?, cap_start_ah = ?, cap_end_ah = ?, "
                 "ele_start_wh = ?, ele_end_wh = ? WHERE id = ?");
    sqlite3_bind_int64(q.s, 1, a.endMs);
    bindText(q.s, 2, a.reason);
    sqlite3_bind_int(q.s, 3, a.written);
    bindSummary(q.s, 4, s);
    sqlite3_bind_double(q.s, 10, s.records ? double(a.stats.sample(0).cap) : 0.0);
    sqlite3_bind_double(q.s, 11, s.records ? double(a.stats.sample(s.last).cap) : 0.0);
    sqlite3_bind_double(q.s, 12, s.records ? double(a.stats.sample(0).ele) : 0.0);
    sqlite3_bind_double(q.s, 13, s.records ? double(a.stats.sample(s.last).ele) : 0.0);
    sqlite3_bind_int64(q.s, 14, a.dbId);
    if (q.step() != SQLITE_DONE)
        return fail(q.rc);
    ::unlink(QFile::encodeName(lockPath(a.dbId, a.startMs)).constData());
    ::close(a.lockFd);
    a.lockFd = -1;
    return true;
}

void RunJournal::retryEnds()
{
    for (auto it = m_active.begin(); it != m_active.end();) {
        if (it->second->ended && it->second->dbId && writeEnd(*it->second))
            it = m_active.erase(it);
        else
            ++it;
    }
}

bool RunJournal::endRun(qint64 runId, qint64 endWallMs, const QString &reason)
{
    auto it = m_active.find(runId);
    if (it == m_active.end())
        return false;
    Active &a = *it->second;
    a.ended = true;
    a.endMs = endWallMs;
    a.reason = reason;
    if (!m_db || !writeEnd(a))
        return false;
    const qint64 ended = a.dbId;
    m_active.erase(it);
    setOk();
    applyRetention(ended);
    return true;
}

bool RunJournal::runInfo(qint64 id, qint64 &t0, int &records, qint64 &skew0)
{
    const QByteArray sql = "SELECT ifnull(t0_ms, 0), " + kRecords
                           + ", (SELECT skew_ms FROM sample WHERE run = ?1 AND i = 0) FROM run WHERE id = ?1";
    Stmt q(m_db, sql.constData());
    sqlite3_bind_int64(q.s, 1, id);
    if (q.step() != SQLITE_ROW)
        return false;
    t0 = q.i64(0);
    records = int(q.i64(1));
    skew0 = q.i64(2);
    return true;
}

IntervalStats RunJournal::storedStats(qint64 id, int first, int last, qint64 t0, int records)
{
    first = qMax(first, 0);
    last = qMin(last, records - 1);
    if (first > last)
        return IntervalStats();
    const int bf = first / B, bl = last / B;
    std::vector<RunStats::Block> blocks(size_t(bl - bf + 1));
    {
        Stmt q(m_db, "SELECT b, records, weight_ms, vbus_vms, ibus_ams, power_wms, vbus_sum, ibus_sum, power_sum, "
                     "vbus_min, vbus_max, ibus_min, ibus_max, power_min, power_max "
                     "FROM block WHERE run = ? AND b BETWEEN ? AND ?");
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_int(q.s, 2, bf);
        sqlite3_bind_int(q.s, 3, bl);
        while (q.step() == SQLITE_ROW) {
            RunStats::Block &b = blocks[size_t(q.i64(0) - bf)];
            b.count = int(q.i64(1));
            b.start.weightMs = q.real(2);
            for (int c = 0; c < RunStats::ChannelCount; ++c) {
                b.start.integral[c] = q.real(3 + c);
                b.start.plain[c] = q.real(6 + c);
                b.min[c] = float(q.real(9 + 2 * c));
                b.max[c] = float(q.real(10 + 2 * c));
            }
        }
    }
    auto readBlock = [&](int b, std::vector<RunStats::Sample> &into) {
        const QByteArray sql = "SELECT " + QByteArray(kSampleColumns) + " FROM sample WHERE run = ? AND i BETWEEN ? AND ?";
        Stmt q(m_db, sql.constData());
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_int(q.s, 2, b * B);
        sqlite3_bind_int(q.s, 3, b * B + B - 1);
        into.reserve(B);
        while (q.step() == SQLITE_ROW)
            into.push_back(sampleFromRow(q, t0));
    };
    std::vector<RunStats::Sample> head, tail;
    readBlock(bf, head);
    if (bl != bf)
        readBlock(bl, tail);
    const RunStats::Sample none;
    return RunStats::compute(
        first, last, [&](int b) -> const RunStats::Block & { return blocks[size_t(b - bf)]; },
        [&](int k) -> const RunStats::Sample & {
            const std::vector<RunStats::Sample> &v = k / B == bf ? head : tail;
            const size_t at = size_t(k - (k / B) * B);
            return at < v.size() ? v[at] : none;
        });
}

bool RunJournal::lagAt(qint64 id, int i, qint64 &lag)
{
    Stmt q(m_db, "SELECT lag_ms FROM sample WHERE run = ? AND i = ?");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int(q.s, 2, i);
    if (q.step() != SQLITE_ROW)
        return false;
    lag = q.i64(0);
    return true;
}

IntervalStats RunJournal::statsOfRecords(qint64 id, int first, int last)
{
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_db || !runInfo(id, t0, records, skew0))
        return IntervalStats();
    return storedStats(id, first, last, t0, records);
}

IntervalStats RunJournal::stats(qint64 id, qint64 fromMs, qint64 toMs, bool wallClock)
{
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_db || !runInfo(id, t0, records, skew0) || records == 0)
        return IntervalStats();
    if (wallClock) {
        fromMs -= skew0;
        toMs -= skew0;
    }
    // Times on the run's timeline never go back: a binary search over the
    // records, one row read per step.
    auto timeAt = [&](int i) {
        qint64 lag = 0;
        lagAt(id, i, lag);
        return t0 + 1000 * qint64(i) + lag;
    };
    int lo = 0, hi = records;   // first record at or after fromMs
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < fromMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    lo = 0;
    hi = records;   // first record after toMs
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) <= toMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    return storedStats(id, first, lo - 1, t0, records);
}

bool RunJournal::ownerLives(qint64 id, qint64 startMs, bool takeOver)
{
    // A writer holds its run's lock for as long as it lives. A reader only
    // looks (a shared lock, let go at once); recovery takes the file over
    // and removes it.
    const QByteArray name = QFile::encodeName(lockPath(id, startMs));
    const int fd = ::open(name.constData(), (takeOver ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::flock(fd, (takeOver ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return true;
    }
    if (takeOver)
        ::unlink(name.constData());
    ::close(fd);
    return false;
}

JournalRun RunJournal::closedRun(qint64 id)
{
    // Ended at its last committed record, with the figures of its records.
    JournalRun r;
    r.id = id;
    r.endReason = QLatin1String(kInterrupted);
    qint64 t0 = 0, skew0 = 0;
    runInfo(id, t0, r.records, skew0);
    const IntervalStats s = storedStats(id, 0, r.records - 1, t0, r.records);
    r.duration_s = s.duration_s;
    r.charge_ah = s.charge_ah;
    r.energy_wh = s.energy_wh;
    r.vbus_max = double(s.vbus.max);
    r.ibus_max = double(s.ibus.max);
    r.power_max = double(s.power.max);
    {
        Stmt q(m_db, "SELECT ifnull((SELECT r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms FROM sample s, run r "
                     "WHERE s.run = ?1 AND r.id = ?1 ORDER BY s.i DESC LIMIT 1), start_ms) FROM run WHERE id = ?1");
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() == SQLITE_ROW)
            r.endMs = q.i64(0);
    }
    Stmt ends(m_db, "SELECT cap_uah, ele_uwh FROM sample WHERE run = ? AND i IN (0, ?) ORDER BY i");
    sqlite3_bind_int64(ends.s, 1, id);
    sqlite3_bind_int(ends.s, 2, r.records - 1);
    for (int k = 0; k < 2 && ends.step() == SQLITE_ROW; ++k) {
        (k ? r.cap_end_ah : r.cap_start_ah) = double(fromMicro(ends.i64(0)));
        (k ? r.ele_end_wh : r.ele_start_wh) = double(fromMicro(ends.i64(1)));
    }
    if (r.records == 1) {
        r.cap_end_ah = r.cap_start_ah;
        r.ele_end_wh = r.ele_start_wh;
    }
    return r;
}

void RunJournal::recover()
{
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;   // held by another process: the next open() looks again
    std::vector<qint64> dead;
    {
        Stmt q(m_db, "SELECT id, start_ms FROM run WHERE end_reason IS NULL");
        while (q.step() == SQLITE_ROW) {
            if (!ownerLives(q.i64(0), q.i64(1), true))
                dead.push_back(q.i64(0));
        }
    }
    int recovered = 0;
    for (qint64 id : dead) {
        const JournalRun r = closedRun(id);
        Stmt q(m_db, "UPDATE run SET end_reason = ?2, end_ms = ?3, duration_s = ?4, charge_ah = ?5, energy_wh = ?6, "
                     "vbus_max = ?7, ibus_max = ?8, power_max = ?9, cap_start_ah = ?10, cap_end_ah = ?11, "
                     "ele_start_wh = ?12, ele_end_wh = ?13, records = ?14 WHERE id = ?1");
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_text(q.s, 2, kInterrupted, -1, SQLITE_STATIC);
        sqlite3_bind_int64(q.s, 3, r.endMs);
        const double figures[] = {r.duration_s, r.charge_ah,    r.energy_wh,  r.vbus_max,     r.ibus_max,
                                  r.power_max,  r.cap_start_ah, r.cap_end_ah, r.ele_start_wh, r.ele_end_wh};
        int at = 4;
        for (double f : figures)
            sqlite3_bind_double(q.s, at++, f);
        sqlite3_bind_int(q.s, 14, r.records);
        if (q.step() != SQLITE_DONE) {
            fail(q.rc);
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return;
        }
        ++recovered;
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    else
        m_recovered += recovered;
}

std::vector<JournalRun> RunJournal::runs()
{
    std::vector<JournalRun> out;
    if (!m_db)
        return out;
    const QByteArray sql = "SELECT id, start_ms, ifnull(end_ms, 0), ifnull(end_reason, ''), name, model, version, "
                           "serial, " + kRecords + ", ifnull(duration_s, 0), ifnull(charge_ah, 0), ifnull(energy_wh, 0), ifnull(vbus_max, 0), "
                 "ifnull(ibus_max, 0), ifnull(power_max, 0), ifnull(cap_start_ah, 0), ifnull(cap_end_ah, 0), "
                 "ifnull(ele_start_wh, 0), ifnull(ele_end_wh, 0) FROM run ORDER BY start_ms DESC, id DESC";
    Stmt q(m_db, sql.constData());
    while (q.step() == SQLITE_ROW) {
        JournalRun r;
        r.id = q.i64(0);
        r.startMs = q.i64(1);
        r.endMs = q.i64(2);
        r.endReason = q.text(3);
        r.name = q.text(4);
        r.model = q.text(5);
        r.version = q.text(6);
        r.serial = q.text(7);
        r.records = int(q.i64(8));
        r.duration_s = q.real(9);
        r.charge_ah = q.real(10);
        r.energy_wh = q.real(11);
        r.vbus_max = q.real(12);
        r.ibus_max = q.real(13);
        r.power_max = q.real(14);
        r.cap_start_ah = q.real(15);
        r.cap_end_ah = q.real(16);
        r.ele_start_wh = q.real(17);
        r.ele_end_wh = q.real(18);
        auto closed = m_closed.find(r.id);
        if (closed != m_closed.end() && !r.finished()) {
            const JournalRun &c = closed->second;
            r.endMs = c.endMs;
            r.endReason = c.endReason;
            r.records = c.records;
            r.duration_s = c.duration_s;
            r.charge_ah = c.charge_ah;
            r.energy_wh = c.energy_wh;
            r.vbus_max = c.vbus_max;
            r.ibus_max = c.ibus_max;
            r.power_max = c.power_max;
            r.cap_start_ah = c.cap_start_ah;
            r.cap_end_ah = c.cap_end_ah;
            r.ele_start_wh = c.ele_start_wh;
            r.ele_end_wh = c.ele_end_wh;
        }
        out.push_back(r);
    }
    if (q.rc != SQLITE_DONE)
        fail(q.rc);
    return out;
}

bool RunJournal::timeline(qint64 id, qint64 &t0Ms, qint64 &firstWallMs)
{
    qint64 runMs = 0;
    if (!recordTime(id, 0, runMs, firstWallMs))
        return false;
    int records = 0;
    qint64 skew0 = 0;
    return runInfo(id, t0Ms, records, skew0);
}

bool RunJournal::recordTime(qint64 id, int i, qint64 &runMs, qint64 &wallMs)
{
    if (!m_db)
        return false;
    Stmt q(m_db, "SELECT r.t0_ms + 1000 * s.i + s.lag_ms, s.skew_ms FROM sample s JOIN run r ON r.id = s.run "
                 "WHERE s.run = ? AND s.i = ?");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int(q.s, 2, i);
    if (q.step() != SQLITE_ROW)
        return false;
    runMs = q.i64(0);
    wallMs = runMs + q.i64(1);
    return true;
}

std::vector<qint64> RunJournal::runTimesAtWall(qint64 id, qint64 wallMs)
{
    std::vector<qint64> times;
    if (!m_db)
        return times;
    // Between two records the wall clock goes on with the run's timeline; a
    // pair whose second record is earlier on the wall clock is where the
    // clock was set back, and passes no time.
    Stmt q(m_db, "SELECT run_ms + (?2 - wall_ms) FROM ("
                 " SELECT r.t0_ms + 1000 * s.i + s.lag_ms AS run_ms,"
                 "  r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms AS wall_ms,"
                 "  lead(r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) OVER (ORDER BY s.i) AS next_ms"
                 " FROM sample s JOIN run r ON r.id = s.run WHERE s.run = ?1)"
                 " WHERE wall_ms <= ?2 AND (next_ms > ?2 OR (next_ms IS NULL AND wall_ms = ?2))");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int64(q.s, 2, wallMs);
    while (q.step() == SQLITE_ROW)
        times.push_back(q.i64(0));
    return times;
}

bool RunJournal::load(qint64 id, ReadingLog &log)
{
    log.clear();
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_db || !runInfo(id, t0, records, skew0))
        return false;
    log.reserve(records);
    const QByteArray sql = "SELECT " + QByteArray(kSampleColumns) + " FROM sample WHERE run = ? ORDER BY i";
    Stmt q(m_db, sql.constData());
    sqlite3_bind_int64(q.s, 1, id);
    ReadingLog::Values values;
    while (q.step() == SQLITE_ROW) {
        const qint64 runMs = t0 + 1000 * q.i64(0) + q.i64(1);
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            values[size_t(c)] = fromMicro(sqlite3_column_int64(q.s, 3 + c));
        log.append(runMs + q.i64(2), runMs, values);
    }
    return q.rc == SQLITE_DONE || fail(q.rc);
}

bool RunJournal::rename(qint64 id, const QString &name)
{
    if (!m_db || m_readOnly)
        return false;
    Stmt q(m_db, "UPDATE run SET name = ? WHERE id = ?");
    bindText(q.s, 1, name);
    sqlite3_bind_int64(q.s, 2, id);
    return (q.step() == SQLITE_DONE || fail(q.rc)) && sqlite3_changes(m_db) == 1;
}

bool RunJournal::isRecording(qint64 id)
{
    if (!m_db)
        return false;
    Stmt q(m_db, "SELECT start_ms FROM run WHERE id = ? AND end_reason IS NULL");
    sqlite3_bind_int64(q.s, 1, id);
    return q.step() == SQLITE_ROW && ownerLives(id, q.i64(0), false);
}

bool RunJournal::remove(qint64 id)
{
    if (!m_db || m_readOnly)
        return false;
    for (int pass = 0;; ++pass) {
        // A run that goes on, here or in another process, stays; one whose
        // process died is closed first.
        Stmt q(m_db, "SELECT end_reason IS NOT NULL FROM run WHERE id = ?");
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() != SQLITE_ROW)
            return false;
        if (q.i64(0) != 0)
            break;
        if (pass > 0 || isRecording(id))
            return false;
        recover();
    }
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    for (const char *sql : {"DELETE FROM sample WHERE run = ?", "DELETE FROM block WHERE run = ?",
                            "DELETE FROM run WHERE id = ?"}) {
        Stmt q(m_db, sql);
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() != SQLITE_DONE) {
            fail(q.rc);
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    return exec("COMMIT");
}

int RunJournal::applyRetention(qint64 keep)
{
    if (!m_db || m_readOnly)
        return 0;
    auto usedBytes = [this]() {
        Stmt q(m_db, "SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT freelist_count FROM "
                     "pragma_freelist_count()), (SELECT page_size FROM pragma_page_size())");
        return q.step() == SQLITE_ROW ? q.i64(0) * q.i64(1) : 0;
    };
    int removed = 0;
    while (usedBytes() > m_sizeCap) {
        qint64 oldest = 0;
        {
            // Only finished runs older than the newest finished one.
            Stmt q(m_db, "SELECT id FROM run WHERE end_reason IS NOT NULL AND id <> ?1 AND (start_ms, id) < "
                         "(SELECT start_ms, id FROM run WHERE end_reason IS NOT NULL ORDER BY start_ms DESC, id DESC "
                         "LIMIT 1) ORDER BY start_ms, id LIMIT 1");
            sqlite3_bind_int64(q.s, 1, keep);
            if (q.step() != SQLITE_ROW) {
                // What is left must stay, over the cap or not.
                if (q.rc == SQLITE_DONE)
                    m_overCap = true;
                break;
            }
            oldest = q.i64(0);
        }
        if (!remove(oldest))
            break;
        ++removed;
    }
    if (removed) {
        // The freed pages leave the file.
        exec("PRAGMA incremental_vacuum");
        exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    m_removed += removed;
    return removed;
}

bool RunJournal::takeOverCap()
{
    if (!m_overCap || m_overCapSaid)
        return false;
    m_overCapSaid = true;
    return true;
}

QString RunJournal::overCapMessage() const
{
    return tr("必须保留的运行（正在记录的运行和最近结束的运行）已超过运行记录数据库的上限 %1 MB，已全部保留；"
              "可在历史记录中删除不需要的运行，或在设置文件中调高 %2。")
        .arg(m_sizeCap >> 20)
        .arg(sizeCapKey());
}

int RunJournal::takeRemovedRuns()
{
    const int n = m_removed;
    m_removed = 0;
    return n;
}

QString RunJournal::removedRunsMessage(int runs) const
{
    return tr("为使运行记录数据库不超过 %1 MB，已删除最早的 %2 次运行。").arg(m_sizeCap >> 20).arg(runs);
}
