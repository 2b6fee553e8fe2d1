#pragma once

// A bench's own folders: home, data (the run journal), settings, cache and
// working folder, all in a temporary folder removed at exit, so that a bench
// never records into or reads the user's. Made first thing in main().
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

class BenchFolders
{
public:
    BenchFolders()
    {
        if (!m_dir.isValid()) {
            std::fprintf(stderr, "cannot make a temporary folder: %s\n", qPrintable(m_dir.errorString()));
            std::exit(1);
        }
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString folder = m_dir.filePath(QString::fromLatin1(name).toLower());
            QDir().mkpath(folder);
            qputenv(name, QFile::encodeName(folder));
        }
        QDir::setCurrent(m_dir.path());
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
