#pragma once

// The built command line run as a child of a test, as a user's shell would
// run it, but away from the user's own files.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A file as a child left it; "<missing>" when there is none, so that two
// missing files never compare as the same content.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

namespace ChildProcess {

// No display and no session (as on a bench computer's service), the C
// locale in UTF-8, no leak report at exit (the sanitized build), and the run
// journal in `dataHome`.
inline QProcessEnvironment environment(const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LC_MESSAGES", "XDG_RUNTIME_DIR"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    return env;
}

struct Result {
    int status = -1;   // -1: it did not finish in time; -2: it crashed
    QByteArray out, err;
};

inline Result finish(QProcess &p, int timeoutMs = 60000)
{
    Result r;
    if (!p.waitForFinished(timeoutMs))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The words of a PDF as pdftotext reads them, laid out as on the page or
// in reading order, the letters the font joins ("ﬃ") apart again; empty
// when it cannot.
inline QString pdfText(const QString &pdf, bool layout = true)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), layout ? QStringList{QStringLiteral("-layout"), pdf, QStringLiteral("-")}
                                                : QStringList{pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000))
        return QString();
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (ushort ligature = 0xFB00; ligature <= 0xFB06; ++ligature)
        text.replace(QChar(ligature), QString(QChar(ligature)).normalized(QString::NormalizationForm_KC));
    return text;
}

} // namespace ChildProcess
