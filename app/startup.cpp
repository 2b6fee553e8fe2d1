#include "app/startup.h"

#include "base/appname.h"
#include "base/crashreport.h"
#include "base/quitsignals.h"
#include "base/setting.h"
#include "device/hidglobal.h"
#include "cli/cli.h"

#include "ui/maindialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QScreen>
#include <QTextCodec>

#include <cstdio>

namespace Startup {

namespace {
const char kInterfaceFamily[] = "Microsoft Yahei";
} // namespace

int fontPointSize(double logicalDpi)
{
    return static_cast<int>(9.0 / (logicalDpi / 96.0));
}

QString paletteColour(const QString &styleSheet)
{
    return styleSheet.mid(20, 7);
}

void applyLook(QApplication &app)
{
    // Docks and task switchers match the window to the menu entry by this
    // name, and show this icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ombrel.Ombrel"));
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/ombrel-128.png")));

    QFile file(QStringLiteral(":/qss/psblack.css"));
    if (file.open(QFile::ReadOnly)) {
        const QString sheet = QLatin1String(file.readAll());
        app.setPalette(QPalette(QColor(paletteColour(sheet))));
        app.setStyleSheet(sheet);
        file.close();
    }

    // The interface family is a Windows font; elsewhere these stand in for
    // it, so Chinese text never falls back to empty boxes.
    QFont::insertSubstitutions(QLatin1String(kInterfaceFamily),
                               {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Noto Sans SC"), QStringLiteral("Droid Sans Fallback")});
    // The digits of the live readings are drawn in a narrow face.
    QFont::insertSubstitutions(QStringLiteral("DINW10-Medium"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const int points = fontPointSize(screen->logicalDotsPerInch());
        app.setFont(QFont(QLatin1String(kInterfaceFamily), points));
    }
}

bool displayAvailable()
{
#if defined(Q_OS_LINUX)
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
#else
    return true;
#endif
}

bool asksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "--help-all" || a == "-help" || a == "-?" || a == "-v" || a == "--version")
            return true;
    }
    return false;
}

bool platformGiven(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if ((a == "-platform" || a == "--platform") && i + 1 < argc)
            return true;
        if (a.startsWith("-platform=") || a.startsWith("--platform="))
            return true;
    }
    return false;
}

namespace {

// Prints the help or the version and ends the process.
void answerOnTerminal(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    AppName::apply();
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBREL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Ombrel: live readings, charts, recording, settings and firmware upgrade for a USB/DC power "
                       "meter.\n\nCommands without a window (ombrel COMMAND --help for each):\n")
        + Cli::commandList());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("platform"),
                                        QStringLiteral("Qt platform plugin to show the window with "
                                                       "(xcb, wayland, offscreen, ...)."),
                                        QStringLiteral("name")));
    parser.process(app);
}

} // namespace

int run(int argc, char *argv[])
{
    if (asksForText(argc, argv))
        answerOnTerminal(argc, argv);
    if (!displayAvailable() && !platformGiven(argc, argv)) {
        std::fprintf(stderr, "Ombrel needs a graphical display, and none was found (DISPLAY and "
                             "WAYLAND_DISPLAY are not set).\nStart it from a desktop session, or "
                             "under a virtual display such as xvfb-run, or choose a Qt platform with -platform.\n");
        return 1;
    }
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    AppName::apply();
    // Before the look and the window, so a fault in either is reported.
    CrashReport::install();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8"));
    applyLook(app);

    int result;
    {
        // SIGTERM and SIGINT (a logout, a shutdown, kill, Ctrl+C in the
        // terminal) close the window as its close button does, so the run
        // ends as stopped with every record; caught until the window and
        // its run are closed.
        QuitSignals quit;
        MainDialog dialog;
        QObject::connect(&quit, &QuitSignals::received, &dialog, [&dialog] {
            dialog.close();
            // Ends a question's own event loop too, should one be open.
            QCoreApplication::quit();
        });
        dialog.show();
        result = app.exec();
    }
    // The window and its run are closed; a signal now ends the process.
    // Settings written in the background are on disk before the end.
    Setting::flush();
    // Both handles are closed with the dialog; now the library itself.
    HidGlobal::exit();
    return result;
}

} // namespace Startup
