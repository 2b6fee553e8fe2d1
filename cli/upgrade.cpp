// ombrel upgrade: the firmware transfer of the window's upgrade page.
#include "cli/command.h"

#include "device/commandframe.h"
#include "device/firmwareupgrade.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <unistd.h>

#include <cstdio>

namespace Cli {

namespace {
const char kCommand[] = "upgrade";
// The meter needs this long to start its loader, as on the upgrade page.
constexpr int kLoaderStartMs = 3000;
constexpr int kTickMs = 100;

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
    switch (image.error) {
    case Firmware::LoadError::None:
        break;
    case Firmware::LoadError::CannotOpen:
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法读取固件 %1").arg(path));
        return ImageRefused;
    case Firmware::LoadError::NotRegular:
        error(QLatin1String(kCommand),
              QCoreApplication::translate("Cli", "固件 %1 不是普通文件（例如命名管道或设备）").arg(path));
        return ImageRefused;
    case Firmware::LoadError::TooLarge:
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "固件 %1 太大（超过 %2 字节）")
                                           .arg(path)
                                           .arg(Firmware::kMaxImageBytes));
        return ImageRefused;
    case Firmware::LoadError::Empty:
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "固件 %1 是空文件").arg(path));
        return ImageRefused;
    }

    MeterPort port;
    if (const std::optional<int> failed = openForCommand(port, kCommand, parser.value(serialOption)))
        return *failed;

    // Frames of the loader travel behind a 0x55 lead byte, as the worker
    // thread writes them.
    bool writeFailed = false;
    FirmwareTransfer transfer([&](const QByteArray &frame) {
        const QByteArray report = QByteArray(1, char(0x55)) + frame.left(CommandFrame::kReportSize - 1);
        if (!port.usb_send(report.constData(), unsigned(report.size()))) {
            writeFailed = true;
            transfer.abort();
        }
    });
    transfer.setImage(image.data);

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const qint64 total = image.data.size();
    std::fprintf(stderr, "upgrade: %s, %lld bytes; starting the meter's loader\n", qPrintable(path),
                 static_cast<long long>(total));
    const QByteArray start = CommandFrame::shortFrame(Cmd::UpgradeStart);
    if (!port.usb_send(start.constData(), unsigned(start.size()))) {
        error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "无法写入电表"));
        return Failed;
    }
    QThread::msleep(kLoaderStartMs);
    transfer.begin();

    QElapsedTimer clock;
    clock.start();
    qint64 nextTickMs = kTickMs;
    qint64 transferStartMs = 0;
    int lastTenth = 0;
    unsigned char buffer[64];
    for (;;) {
        if (writeFailed) {
            error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "写入电表失败，升级没有完成"));
            return Failed;
        }
        if (!transfer.isWaiting())
            break;
        const int n = port.readReport(buffer, 10);
        if (n < 0) {
            if (terminal)
                std::fputs("\n", stderr);
            error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "电表已拔出，升级没有完成"));
            return Failed;
        }
        if (n == 64) {
            const FirmwareTransfer::Outcome out = transfer.receive(buffer, 64);
            switch (out.reply) {
            case FirmwareTransfer::Reply::Handshake:
                transferStartMs = clock.elapsed();
                break;
            case FirmwareTransfer::Reply::TransferComplete:
                if (terminal)
                    std::fputs("\n", stderr);
                std::fprintf(stderr, "upgrade: transfer complete in %.1f s; the meter writes the image\n",
                             (clock.elapsed() - transferStartMs) / 1000.0);
                break;
            case FirmwareTransfer::Reply::BurnComplete:
                std::fprintf(stderr, "upgrade: done\n");
                return Ok;
            case FirmwareTransfer::Reply::Failure:
                if (terminal)
                    std::fputs("\n", stderr);
                error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "电表的引导程序报告失败"));
                return Failed;
            case FirmwareTransfer::Reply::Ack:
            case FirmwareTransfer::Reply::Ignored:
                break;
            }
            if (out.blockSent) {
                const qint64 sent = std::min<qint64>(total, qint64(transfer.blockIndex()) * Firmware::kBlockBytes);
                progressLine(terminal, Firmware::progress(transfer.blockIndex(), total), sent, total,
                             clock.elapsed() - transferStartMs, lastTenth);
            }
        }
        // The upgrade page's 100 ms ticks, which end a transfer left without
        // a reply.
        while (clock.elapsed() >= nextTickMs) {
            nextTickMs += kTickMs;
            if (transfer.tick()) {
                if (terminal)
                    std::fputs("\n", stderr);
                error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "电表的引导程序停止应答（超时）"));
                return TimedOut;
            }
        }
    }
    error(QLatin1String(kCommand), QCoreApplication::translate("Cli", "升级没有完成"));
    return Failed;
}

} // namespace Cli
