#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

// The firmware image and the meter loader's transfer protocol: a handshake
// announcing the number of blocks, then numbered 58-byte blocks, each sent
// when the previous one is acknowledged, then "transfer complete" and, once
// the meter has written the image, "burn complete". Frames carry a
// CRC-16/MODBUS, low byte first.
namespace Firmware {

constexpr int kBlockBytes = 58;
constexpr qint64 kMaxImageBytes = 2097152;   // 2 MiB, accepted
constexpr int kTickLimit = 120;              // 100 ms ticks without a reply

quint16 crc16(const unsigned char *data, int length);
int blockCount(qint64 imageBytes);

// AA 06 <blocks, LE> <crc, LE>
QByteArray handshakeFrame(qint64 imageBytes);
// CC <length> <number, LE> <data> <crc, LE>: 64 bytes for a full block,
// n + 6 for a last block of n bytes.
QByteArray blockFrame(const QByteArray &image, int number);

enum class LoadError { None, CannotOpen, NotRegular, TooLarge, Empty };
struct Image {
    LoadError error = LoadError::None;
    QString reason;   // the system's, for CannotOpen
    QByteArray data;
};
// The whole file, if it can be read and holds 1 to kMaxImageBytes bytes. A
// named pipe or a device is refused (NotRegular) without waiting on it.
Image loadImage(const QString &path);

// "固件大小:512字节", or above 1024 bytes "固件大小:2.9KB   3000字节".
QString sizeText(qint64 bytes);
// Transfer speed: "12.34KB/秒" above 1024 bytes a second, else "900字节/秒".
// Over the whole seconds of the duration line when there is at least one;
// under a second over the milliseconds (a time under one counts as one).
QString speedText(qint64 bytes, qint64 wholeSeconds, qint64 elapsedMs);
// The seconds the rest of the image takes at the pace so far, rounded; 0
// while no pace is known.
int secondsLeft(qint64 sent, qint64 total, qint64 elapsedMs);
// Progress after `blocksSent` blocks, in percent, at most 100.
double progress(int blocksSent, qint64 imageBytes);

} // namespace Firmware

// One transfer to the loader. It writes its frames through the given writer
// and is told of every reply and of every 100 ms tick; it keeps no clock.
class FirmwareTransfer
{
public:
    using Writer = std::function<void(const QByteArray &frame)>;

    enum class Reply { Ignored, Handshake, Ack, TransferComplete, BurnComplete, Failure };
    struct Outcome {
        Reply reply = Reply::Ignored;
        bool blockSent = false;   // a block went out: the progress moved
    };

    explicit FirmwareTransfer(Writer writer) : m_write(std::move(writer)) {}

    // The image to send next. While a transfer runs it keeps its own copy:
    // a new image takes effect only with the next begin().
    void setImage(const QByteArray &image) { m_image = image; }
    const QByteArray &image() const { return m_image; }
    // The image of the transfer under way (or of the last one).
    const QByteArray &sending() const { return m_sending; }

    // Starts a transfer afresh (whatever one was under way is forgotten) and
    // sends the handshake of the image.
    void begin();
    // A report from the meter; its frame starts after the report's first byte.
    // A reply that does not belong to the transfer under way is ignored and
    // counted: an acknowledgement or "transfer complete" before the
    // handshake reply (a late one of an earlier transfer), an acknowledgement
    // of a block this transfer did not send, anything after it ended.
    Outcome receive(const unsigned char *report, unsigned length);
    // A 100 ms tick; true when it ends the transfer for want of a reply.
    bool tick();
    // Ends the transfer (a write failed).
    void abort() { finish(); }

    bool isWaiting() const { return m_phase != Phase::Idle; }
    int ticks() const { return m_ticks; }
    int blockIndex() const { return m_blockIndex; }
    qint64 remaining() const { return m_remaining; }
    // Replies ignored because they belonged to no transfer under way.
    int strayReplies() const { return m_strays; }

private:
    enum class Phase { Idle, Handshake, Sending };
    void sendNextBlock();
    void finish();
    Outcome stray();

    Writer m_write;
    QByteArray m_image;
    QByteArray m_sending;
    Phase m_phase = Phase::Idle;
    int m_ticks = 0;
    int m_blockIndex = 0;
    qint64 m_remaining = 0;
    int m_strays = 0;
};

class MeterPort;

namespace Firmware {

// Why an image cannot be sent, in the program's words ("" when it can).
QString loadWords(const Image &image, const QString &path);

// An upgrade of an opened meter from start to end, as the upgrade page does
// it: the loader started (it needs three seconds), the image sent block by
// block, the burn waited for.
enum class End { Done, CannotStart, WriteFailed, Unplugged, LoaderFailed, TimedOut, Stopped };
struct Progress {
    double percent = 0;
    qint64 sent = 0;    // bytes
    qint64 total = 0;
    qint64 elapsedMs = 0;   // since the loader answered the handshake
};
struct Watcher {
    std::function<void(const Progress &)> progress;     // after each block
    std::function<void(double seconds)> transferred;    // the whole image is with the meter
    std::function<bool()> goOn;   // asked every tenth of a second; false stops the transfer
};
End upgrade(MeterPort &port, const QByteArray &image, const Watcher &watcher);
// "电表的引导程序报告失败", …; "" for Done.
QString endWords(End end);

} // namespace Firmware
