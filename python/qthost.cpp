#include "qthost.h"

#include "base/appname.h"
#include "recording/recordedrun.h"
#include "recording/runjournal.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTranslator>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace QtHost {

namespace {
std::thread g_thread;
QCoreApplication *g_app = nullptr;
std::mutex g_mutex;
std::condition_variable g_ready;
} // namespace

void start()
{
    if (g_thread.joinable())
        return;
    g_thread = std::thread([] {
        static int argc = 1;
        static char name[] = "ombrel";
        static char *argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        AppName::apply();
        QTranslator english;
        if (!AppName::chineseLocale() && english.load(QStringLiteral(":/Language/lib_en.qm")))
            QCoreApplication::installTranslator(&english);
        {
            const std::lock_guard<std::mutex> lock(g_mutex);
            g_app = &app;
        }
        g_ready.notify_all();
        app.exec();
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_app = nullptr;
    });
    std::unique_lock<std::mutex> lock(g_mutex);
    g_ready.wait(lock, [] { return g_app != nullptr; });
}

void stop()
{
    if (!g_thread.joinable())
        return;
    call([] {
        // A run still being recorded when Python exits ends as stopped,
        // every record kept.
        for (RecordedRun *run : QCoreApplication::instance()->findChildren<RecordedRun *>()) {
            run->finish(QLatin1String(RunJournal::kStopped));
            run->close();
        }
        QCoreApplication::quit();
    });
    g_thread.join();
}

void call(const std::function<void()> &job)
{
    QCoreApplication *app = nullptr;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        app = g_app;
    }
    if (!app)
        return;
    QMetaObject::invokeMethod(app, job, Qt::BlockingQueuedConnection);
}

} // namespace QtHost
