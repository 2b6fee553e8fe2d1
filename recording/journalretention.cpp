#include "recording/journalretention.h"

#include "base/setting.h"
#include "recording/journalfile.h"
#include "recording/journalschema.h"

using journalschema::Stmt;

QString JournalRetention::sizeCapKey()
{
    return QStringLiteral("RunDatabaseLimitMB");
}

qint64 JournalRetention::sizeCapFromSettings(const Setting &settings, QString *badValue)
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

QString JournalRetention::badSizeCapMessage(const QString &value)
{
    return QCoreApplication::translate("RunJournal", "设置文件中 %1 的值“%2”无效（应为 1 到 %3 之间的整数，单位 MB）：运行记录数据库的上限使用默认的 %4 MB。")
        .arg(sizeCapKey(), value)
        .arg(kLargestSizeCapMB)
        .arg(kDefaultSizeCap >> 20);
}

int JournalRetention::apply(qint64 keep, const std::function<bool(qint64)> &remove)
{
    sqlite3 *const db = m_file.db();
    auto usedBytes = [db]() {
        Stmt q(db, "SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT freelist_count FROM "
                     "pragma_freelist_count()), (SELECT page_size FROM pragma_page_size())");
        return q.step() == SQLITE_ROW ? q.i64(0) * q.i64(1) : 0;
    };
    int removed = 0;
    while (usedBytes() > m_sizeCap) {
        qint64 oldest = 0;
        {
            // Only finished runs older than the newest finished one.
            Stmt q(db, "SELECT id FROM run WHERE end_reason IS NOT NULL AND id <> ?1 AND (start_ms, id) < "
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
        m_file.exec("PRAGMA incremental_vacuum");
        m_file.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    m_removed += removed;
    return removed;
}

bool JournalRetention::takeOverCap()
{
    if (!m_overCap || m_overCapSaid)
        return false;
    m_overCapSaid = true;
    return true;
}

QString JournalRetention::overCapMessage() const
{
    return QCoreApplication::translate("RunJournal", "必须保留的运行（正在记录的运行和最近结束的运行）已超过运行记录数据库的上限 %1 MB，已全部保留；"
              "可在历史记录中删除不需要的运行，或在设置文件中调高 %2。")
        .arg(m_sizeCap >> 20)
        .arg(sizeCapKey());
}

int JournalRetention::takeRemovedRuns()
{
    const int n = m_removed;
    m_removed = 0;
    return n;
}

QString JournalRetention::removedRunsMessage(int runs) const
{
    return QCoreApplication::translate("RunJournal", "为使运行记录数据库不超过 %1 MB，已删除最早的 %2 次运行。").arg(m_sizeCap >> 20).arg(runs);
}
