#include "device/firmwareupgrade.h"

#include "base/regularfile.h"
#include "device/commandframe.h"
#include "device/meterport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

namespace Firmware {

namespace {
void appendLE16(QByteArray &frame, int value)
{
    frame.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

void appendCrc(QByteArray &frame)
{
    appendLE16(frame, crc16(reinterpret_cast<const unsigned char *>(frame.constData()), frame.size()));
}
} // namespace

quint16 crc16(const unsigned char *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

int blockCount(qint64 imageBytes)
{
    return int((imageBytes + kBlockBytes - 1) / kBlockBytes);
}

QByteArray handshakeFrame(qint64 imageBytes)
{
    QByteArray frame;
    frame.append(char(0xAA)).append(char(0x06));
    appendLE16(frame, blockCount(imageBytes));
    appendCrc(frame);
    return frame;
}

QByteArray blockFrame(const QByteArray &image, int number)
{
    const qint64 offset = qint64(number) * kBlockBytes;
    // Never a block cut outside the image.
    if (number < 0 || offset >= image.size())
        return QByteArray();
    const int n = int(std::min<qint64>(kBlockBytes, image.size() - offset));
    QByteArray frame;
    frame.append(char(0xCC)).append(char(n == kBlockBytes ? 0x40 : n + 6));
    appendLE16(frame, number);
    frame.append(image.constData() + offset, n);
    appendCrc(frame);
    return frame;
}

Image loadImage(const QString &path)
{
    Image image;
    QFile file(path);
    switch (RegularFile::open(file, QIODevice::ReadOnly, &image.reason)) {
    case RegularFile::Opened::Yes:
        break;
    case RegularFile::Opened::NotRegular:
        image.error = LoadError::NotRegular;
        return image;
    case RegularFile::Opened::Failed:
        image.error = LoadError::CannotOpen;
        return image;
    }
    const qint64 size = file.size();
    if (size > kMaxImageBytes) {
        image.error = LoadError::TooLarge;
        return image;
    }
    if (size == 0) {
        image.error = LoadError::Empty;
        return image;
    }
    image.data = file.readAll();
    if (image.data.size() != size) {
        image.error = LoadError::CannotOpen;
        image.reason = file.errorString();
        image.data.clear();
    }
    return image;
}

QString sizeText(qint64 n)
{
    if (n <= 1024)
        return QStringLiteral("固件大小:%1字节").arg(n);
    return QStringLiteral("固件大小:%1KB   %2字节").arg(double(n) / 1024, 0, 'f', 1).arg(n);
}

QString speedText(qint64 bytes, qint64 wholeSeconds, qint64 elapsedMs)
{
    const qint64 s = wholeSeconds >= 1 ? bytes / wholeSeconds : bytes * 1000 / std::max<qint64>(1, elapsedMs);
    if (s > 1024)
        return QStringLiteral("%1KB/秒").arg(double(s) / 1024, 0, 'f', 2);
    return QStringLiteral("%1字节/秒").arg(s);
}

int secondsLeft(qint64 sent, qint64 total, qint64 elapsedMs)
{
    if (sent <= 0 || elapsedMs <= 0)
        return 0;
    return int(double(total - sent) * double(elapsedMs) / double(sent) / 1000.0 + 0.5);
}

double progress(int blocksSent, qint64 imageBytes)
{
    if (imageBytes <= 0)
        return 0;
    const float p = float(blocksSent) * kBlockBytes / float(imageBytes) * 100.0f;
    return std::min(100.0, double(p));
}

} // namespace Firmware

void FirmwareTransfer::begin()
{
    // Nothing of an earlier transfer carries over: its block index and bytes
    // left would let a late acknowledgement cut blocks from this image.
    finish();
    m_phase = Phase::Handshake;
    // The transfer's own copy: loading another image meanwhile replaces
    // m_image and never the bytes the blocks are cut from.
    m_sending = m_image;
    m_write(Firmware::handshakeFrame(m_sending.size()));
}

void FirmwareTransfer::finish()
{
    m_phase = Phase::Idle;
    m_ticks = 0;
    m_blockIndex = 0;
    m_remaining = 0;
}

FirmwareTransfer::Outcome FirmwareTransfer::stray()
{
    ++m_strays;
    return Outcome();
}

FirmwareTransfer::Outcome FirmwareTransfer::receive(const unsigned char *report, unsigned length)
{
    Outcome out;
    if (length < 5)
        return out;
    const unsigned char *r = report + 1;
    const unsigned frameBytes = length - 1;
    const bool known = r[0] == 0xBB || r[0] == 0xDD || r[0] == 0xEE || r[0] == 0xFF || r[0] == 0x11;
    if (m_phase == Phase::Idle)
        return known ? stray() : out;
    switch (r[0]) {
    case 0xBB: {
        const unsigned l = r[1];
        if (l < 3 || l > 63 || l > frameBytes)
            return out;
        if (Firmware::crc16(r, int(l - 2)) != (r[l - 2] | (r[l - 1] << 8)))
            return out;
        // A second handshake reply starts the transfer again from block 0.
        m_phase = Phase::Sending;
        m_ticks = 0;
        m_blockIndex = 0;
        m_remaining = m_sending.size();
        out.reply = Reply::Handshake;
        sendNextBlock();
        out.blockSent = true;
        return out;
    }
    case 0xDD: {
        if (m_phase != Phase::Sending)
            return stray();
        // Any acknowledgement in the transfer shows the loader is alive.
        m_ticks = 0;
        out.reply = Reply::Ack;
        const int number = r[2] | (r[3] << 8);
        if (number == m_blockIndex - 1 && m_remaining > 0) {
            sendNextBlock();
            out.blockSent = true;
        } else {
            ++m_strays;
        }
        return out;
    }
    case 0xEE:
        if (m_phase != Phase::Sending)
            return stray();
        m_ticks = 0;
        out.reply = Reply::TransferComplete;
        return out;
    case 0xFF:
        if (m_phase != Phase::Sending)
            return stray();
        finish();
        out.reply = Reply::BurnComplete;
        return out;
    case 0x11:
        // The loader may refuse the handshake itself.
        finish();
        out.reply = Reply::Failure;
        return out;
    default:
        return out;
    }
}

void FirmwareTransfer::sendNextBlock()
{
    const int number = m_blockIndex;
    m_remaining = std::max<qint64>(0, m_remaining - Firmware::kBlockBytes);
    ++m_blockIndex;
    // Written last: a failing write may end the transfer from inside.
    m_write(Firmware::blockFrame(m_sending, number));
}

bool FirmwareTransfer::tick()
{
    if (m_phase == Phase::Idle)
        return false;
    if (++m_ticks < Firmware::kTickLimit)
        return false;
    finish();
    return true;
}

namespace Firmware {

QString loadWords(const Image &image, const QString &path)
{
    switch (image.error) {
    case LoadError::None:
        break;
    case LoadError::CannotOpen:
        return QCoreApplication::translate("Firmware", "无法读取固件 %1").arg(path);
    case LoadError::NotRegular:
        return QCoreApplication::translate("Firmware", "固件 %1 不是普通文件（例如命名管道或设备）").arg(path);
    case LoadError::TooLarge:
        return QCoreApplication::translate("Firmware", "固件 %1 太大（超过 %2 字节）").arg(path).arg(kMaxImageBytes);
    case LoadError::Empty:
        return QCoreApplication::translate("Firmware", "固件 %1 是空文件").arg(path);
    }
    return QString();
}

QString endWords(End end)
{
    switch (end) {
    case End::Done:
        break;
    case End::CannotStart:
        return QCoreApplication::translate("Firmware", "无法写入电表");
    case End::WriteFailed:
        return QCoreApplication::translate("Firmware", "写入电表失败，升级没有完成");
    case End::Unplugged:
        return QCoreApplication::translate("Firmware", "电表已拔出，升级没有完成");
    case End::LoaderFailed:
        return QCoreApplication::translate("Firmware", "电表的引导程序报告失败");
    case End::TimedOut:
        return QCoreApplication::translate("Firmware", "电表的引导程序停止应答（超时）");
    case End::Stopped:
        return QCoreApplication::translate("Firmware", "升级没有完成");
    }
    return QString();
}

End upgrade(MeterPort &port, const QByteArray &image, const Watcher &watcher)
{
    // The meter needs this long to start its loader, as on the upgrade page.
    constexpr int kLoaderStartMs = 3000;
    constexpr int kTickMs = 100;
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
    transfer.setImage(image);
    const QByteArray start = CommandFrame::shortFrame(Cmd::UpgradeStart);
    if (!port.usb_send(start.constData(), unsigned(start.size())))
        return End::CannotStart;
    for (int waited = 0; waited < kLoaderStartMs; waited += kTickMs) {
        if (watcher.goOn && !watcher.goOn())
            return End::Stopped;
        QThread::msleep(kTickMs);
    }
    transfer.begin();

    const qint64 total = image.size();
    QElapsedTimer clock;
    clock.start();
    qint64 nextTickMs = kTickMs;
    qint64 transferStartMs = 0;
    unsigned char buffer[64];
    for (;;) {
        if (writeFailed)
            return End::WriteFailed;
        if (!transfer.isWaiting())
            return End::Stopped;
        const int n = port.readReport(buffer, 10);
        if (n < 0)
            return End::Unplugged;
        if (n == 64) {
            const FirmwareTransfer::Outcome out = transfer.receive(buffer, 64);
            switch (out.reply) {
            case FirmwareTransfer::Reply::Handshake:
                transferStartMs = clock.elapsed();
                break;
            case FirmwareTransfer::Reply::TransferComplete:
                if (watcher.transferred)
                    watcher.transferred((clock.elapsed() - transferStartMs) / 1000.0);
                break;
            case FirmwareTransfer::Reply::BurnComplete:
                return End::Done;
            case FirmwareTransfer::Reply::Failure:
                return End::LoaderFailed;
            case FirmwareTransfer::Reply::Ack:
            case FirmwareTransfer::Reply::Ignored:
                break;
            }
            if (out.blockSent && watcher.progress)
                watcher.progress({progress(transfer.blockIndex(), total),
                                  std::min<qint64>(total, qint64(transfer.blockIndex()) * kBlockBytes), total,
                                  clock.elapsed() - transferStartMs});
        }
        // The upgrade page's 100 ms ticks, which end a transfer left without
        // a reply.
        while (clock.elapsed() >= nextTickMs) {
            nextTickMs += kTickMs;
            if (transfer.tick())
                return End::TimedOut;
            if (watcher.goOn && !watcher.goOn()) {
                transfer.abort();
                return End::Stopped;
            }
        }
    }
}

} // namespace Firmware
