// ombrel upgrade: the firmware transfer of the window's upgrade page.
#include "cli/command.h"

#include "device/firmwareupgrade.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>

namespace Cli {

namespace {
const char kCommand[] = "upgrade";

void progressLine(bool terminal, double percent, qint64 bytes, qint64 total, qint64 elapsedMs, int &lastTenth)
{
    const double rate = elapsedMs > 0 ? double(bytes) * 1000.0 / double(elapsedMs) : 0.0;   // bytes a second
    const int left = Firmware::secondsLeft(bytes, total, elapsedMs);
    if (terminal) {
        const int width = 30;
        const int filled = int(percent / 100.0 * width);
        std::fprintf(stderr, "\r[%s%s] %5.1f%%  %.2f KB/s  %d s left\x1b[K",
                     QByteArray(filled, '#').constData(), QByteArray(width - filled, '.').constData(), percent,
                     rate / 1024.0, left);
        std::fflush(stderr);
        return;
    }
    const int tenth = int(percent / 10.0);
    if (tenth <= lastTenth)
        return;
    lastTenth = tenth;
    std::fprintf(stderr, "upgrade: %d%% (%lld of %lld bytes, %.2f KB/s, %d s left)\n", tenth * 10,
                 static_cast<long long>(bytes), static_cast<long long>(total), rate / 1024.0, left);
}
} // namespace

int runUpgrade(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Upgrade the meter with this serial number."),
                                          QStringLiteral("serial"));
    parser.addOption(serialOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The firmware image (at most 2 MiB)."));
    if (const std::optional<int> done =
            parse(parser, kCommand,
                  QStringLiteral("Sends a firmware image to the meter's loader, as the window's upgrade page "
                                 "does, with its progress on standard error."),
                  arguments))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        error(QLatin1String(kCommand), files.isEmpty() ? QCoreApplication::translate("Cli", "没有给出固件文件")
                                                       : QCoreApplication::translate("Cli", "多余的参数“%1”").arg(files[1]));
        return Usage;
    }
    const QString path = files.first();
    const Firmware::Image image = Firmware::loadImage(path);
    if (image.error != Firmware::LoadError::None) {
        error(QLatin1String(kCommand), Firmware::loadWords(image, path));
        return ImageRefused;
    }

    MeterPort port;
    if (const std::optional<int> failed = openForCommand(port, kCommand, parser.value(serialOption)))
        return *failed;

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const qint64 total = image.data.size();
    std::fprintf(stderr, "upgrade: %s, %lld bytes; starting the meter's loader\n", qPrintable(path),
                 static_cast<long long>(total));
    int lastTenth = 0;
    bool lineOpen = false;
    Firmware::Watcher watcher;
    watcher.progress = [&](const Firmware::Progress &p) {
        lineOpen = terminal;
        progressLine(terminal, p.percent, p.sent, p.total, p.elapsedMs, lastTenth);
    };
    watcher.transferred = [&](double seconds) {
        if (lineOpen)
            std::fputs("\n", stderr);
        lineOpen = false;
        std::fprintf(stderr, "upgrade: transfer complete in %.1f s; the meter writes the image\n", seconds);
    };
    const Firmware::End end = Firmware::upgrade(port, image.data, watcher);
    if (lineOpen)
        std::fputs("\n", stderr);
    if (end == Firmware::End::Done) {
        std::fprintf(stderr, "upgrade: done\n");
        return Ok;
    }
    error(QLatin1String(kCommand), Firmware::endWords(end));
    return end == Firmware::End::TimedOut ? TimedOut : Failed;
}

} // namespace Cli
