#pragma once
// Another program's hand on a database file: SQL run on it through a
// connection of its own, opened and closed around the statements.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sqlite3.h>

// SQLite's words for what failed; empty when every statement ran.
inline QString sqlOn(const QString &path, const QByteArray &statements)
{
    sqlite3 *db = nullptr;
    QString error;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        char *message = nullptr;
        if (sqlite3_exec(db, statements.constData(), nullptr, nullptr, &message) != SQLITE_OK)
            error = QString::fromUtf8(message ? message : "failed");
        sqlite3_free(message);
    }
    sqlite3_close(db);
    return error;
}
