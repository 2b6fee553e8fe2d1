// Start-up with a large settings file: the time to build the main window
// (which reads some forty settings and may write one) when usb-hid.ini holds
// about 50 MB, once as a million keys and once as garbage. Prints its figures.
//
// Usage: bench_settings [megabytes]   (default 50)
//
// Reading the file once, it takes about 2 s for either (on a machine where
// building a new QSettings for every read took 70 s and 14 s). A file over a
// megabyte is written in the background, and binary data is not read at all.
#include "benchfolders.h"
#include "base/setting.h"
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray manyKeys(qint64 bytes)
{
    QByteArray text = "[General]\nLanguage=English\nreport_id=85\n";
    text.reserve(int(bytes) + 64);
    for (int i = 0; text.size() < bytes; ++i)
        text += "unused_key_" + QByteArray::number(i) + "=some value of twenty-odd chars\n";
    return text;
}

QByteArray garbage(qint64 bytes)
{
    QByteArray text(int(bytes), Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &c : text)
        c = char(random.bounded(256));
    return text;
}

void measure(const char *what, const QByteArray &content)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QFile file(Setting::filePath());
    if (!content.isEmpty() && (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())) {
        std::printf("%s: cannot write the file\n", what);
        return;
    }
    file.close();
    QElapsedTimer clock;
    clock.start();
    {
        MainDialog dialog;
        std::printf("%s (%.1f MB): main window built in %.3f s", what, content.size() / 1e6, clock.nsecsElapsed() / 1e9);
        clock.restart();
        const QString language = Setting().read(QStringLiteral("LANGUAGE"));
        std::printf(", one more read %.6f s (%s)", clock.nsecsElapsed() / 1e9,
                    language.isEmpty() ? "no language" : qPrintable(language));
        // A settings change, as a choice in the window makes one: the time
        // the window's thread spends in it.
        clock.restart();
        Setting().write(QStringLiteral("ChartTheme"), QStringLiteral("Dark"));
        std::printf(", a settings change %.3f s", clock.nsecsElapsed() / 1e9);
    }
    // What waits to be written is written (in the background for a large
    // file) before the next case.
    QElapsedTimer flush;
    flush.start();
    Setting::flush();
    std::printf(", on disk %.3f s later\n", flush.nsecsElapsed() / 1e9);
    QDir::setCurrent(QDir::tempPath());
    // The file read is let go now, not at the next case's first read.
    Setting().read(QStringLiteral("Language"));
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolders own;
    const qint64 bytes = qint64(argc > 1 ? std::atof(argv[1]) : 50.0) * 1000 * 1000;
    if (!Startup::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    sim::attach().setReportRate(0);
    QApplication app(argc, argv);
    Startup::applyLook(app);

    measure("No settings file", QByteArray());
    measure("A million keys", manyKeys(bytes));
    measure("Garbage", garbage(bytes));
    return 0;
}
