// Firmware upgrade and meter settings: the loader's frames and the transfer
// state machine on their own, then the main window sending images to the
// simulated loader (and failing in every way it can), and the settings
// pages' frames.
#include "app/startup.h"
#include "device/firmwareupgrade.h"
#include "device/usbthread.h"
#include "namedpipe.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui_maindialog.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <random>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

QByteArray randomImage(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray image(size, '\0');
    for (char &c : image)
        c = char(random());
    return image;
}

QByteArray reportOf(const sim::Written &w)
{
    return QByteArray(reinterpret_cast<const char *>(w.bytes.data()), 64);
}

// A reply of the loader as a 64-byte report: a lead byte, then the frame.
QByteArray reply(QByteArray frame)
{
    frame.prepend(char(0x55));
    frame.resize(64);
    return frame;
}

QByteArray handshakeReply(bool goodCrc = true)
{
    return reply(bytes({0xBB, 0x05, 0x00, 0x02, goodCrc ? 0xB5 : 0xF5}));
}

// CRC-16/MODBUS bit by bit, apart from the program's table: the check of
// the blocks the window sends.
quint16 referenceCrc(const char *p, int n)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= quint8(p[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray ack(int number)
{
    return reply(bytes({0xDD, 0x06, number & 0xFF, number >> 8}));
}

FirmwareTransfer::Outcome give(FirmwareTransfer &t, const QByteArray &report)
{
    return t.receive(reinterpret_cast<const unsigned char *>(report.constData()), unsigned(report.size()));
}

struct Warning {
    QString title;
    QString text;
    bool transferLive;   // the transfer or its time-out still ran under the box
};

// A left click as the window system delivers it: to the top-level window,
// which routes it to whatever widget is under the pointer.
void clickThroughWindow(QWidget *w)
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, w->mapTo(top, w->rect().center()));
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<Warning> m_warnings;
    QString m_chosenFile;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return QString();
        return path;
    }

    std::unique_ptr<MainDialog> dialog()
    {
        auto d = std::make_unique<MainDialog>();
        d->setLoaderWait([](int) {});
        d->form()->disp_btnUpgrade->click();
        return d;
    }

    void load(MainDialog &d, const QString &path)
    {
        m_chosenFile = path;
        d.form()->upgrade_pushButton_openfile->click();
    }

    static QString log(MainDialog &d) { return d.form()->upgrade_text_log->toPlainText(); }

    // Loads and sends an image, and waits for the meter to have burnt it.
    bool sendImage(MainDialog &d, sim::Meter &meter, const QByteArray &image, int timeoutMs = 20000)
    {
        load(d, writeFile(QStringLiteral("fw%1.bin").arg(image.size()), image));
        if (!d.form()->upgrade_pushButton_start->isEnabled())
            return false;
        d.form()->upgrade_pushButton_start->click();
        QElapsedTimer clock;
        clock.start();
        // Waits on events, not by sleeping: one block per round trip.
        while (!log(d).contains(QStringLiteral("本次下载结束")) && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        const std::vector<unsigned char> got = meter.receivedImage();
        return QByteArray(reinterpret_cast<const char *>(got.data()), int(got.size())) == image;
    }

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
        Prompts::setWarningHandler([this](QWidget *parent, const QString &title, const QString &text) {
            auto *d = qobject_cast<MainDialog *>(parent);
            m_warnings.append({title, text,
                               d && (d->upgradeTimer()->isActive() || d->firmwareTransfer().isWaiting())});
        });
        Prompts::setOpenFileHandler([this](QWidget *, const QString &, const QString &, const QString &) {
            return m_chosenFile;
        });
    }

    void init()
    {
        sim::reset();
        m_warnings.clear();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QTRY_COMPARE(sim::openHandles(), 0);
    }

    void framesAndTexts()
    {
        QCOMPARE(Firmware::crc16(reinterpret_cast<const unsigned char *>("abc"), 3), quint16(0x5749));
        QCOMPARE(Firmware::handshakeFrame(100), bytes({0xAA, 0x06, 0x02, 0x00, 0xC0, 0x9D}));
        QCOMPARE(Firmware::blockCount(2097152), 36158);

        QCOMPARE(referenceCrc("123456789", 9), quint16(0x4B37));

        QByteArray image(59, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i);
        QCOMPARE(Firmware::blockFrame(image, 0), bytes({0xCC, 0x40, 0x00, 0x00}) + image.left(58) + bytes({0x26, 0x79}));
        QCOMPARE(Firmware::blockFrame(image, 1), bytes({0xCC, 0x07, 0x01, 0x00, 0x3A, 0xE4, 0xB7}));

        QCOMPARE(Firmware::sizeText(3000), QStringLiteral("固件大小:2.9KB   3000字节"));
        QCOMPARE(Firmware::sizeText(1024), QStringLiteral("固件大小:1024字节"));
        // Over the whole seconds of the duration line, even when the clock
        // measured less; under a second, a sound speed and no division by zero.
        QCOMPARE(Firmware::speedText(3000, 1, 24), QStringLiteral("2.93KB/秒"));
        QCOMPARE(Firmware::speedText(5000, 2, 2999), QStringLiteral("2.44KB/秒"));
        QCOMPARE(Firmware::speedText(2097152, 0, 800), QStringLiteral("2560.00KB/秒"));
        QCOMPARE(Firmware::speedText(100, 0, 0), QStringLiteral("97.66KB/秒"));
        QCOMPARE(Firmware::speedText(900, 1, 1000), QStringLiteral("900字节/秒"));
        // KB only above 1024 bytes a second.
        QCOMPARE(Firmware::speedText(2048, 2, 2000), QStringLiteral("1024字节/秒"));
        QCOMPARE(Firmware::speedText(2050, 2, 2000), QStringLiteral("1.00KB/秒"));
        // The last block of 59 bytes ends at 100 %, not 196.6 %.
        QCOMPARE(Firmware::progress(2, 59), 100.0);
        QCOMPARE(Firmware::progress(1, 100), double(58.0f));
        // The time left at the pace so far: a third sent in 1 s leaves 2 s,
        // half in 2.6 s leaves 2.6 s, said as 3; none before a pace is known.
        QCOMPARE(Firmware::secondsLeft(1000, 3000, 1000), 2);
        QCOMPARE(Firmware::secondsLeft(1500, 3000, 2600), 3);
        QCOMPARE(Firmware::secondsLeft(3000, 3000, 4000), 0);
        QCOMPARE(Firmware::secondsLeft(0, 3000, 500), 0);
        QCOMPARE(Firmware::secondsLeft(58, 3000, 0), 0);

        QCOMPARE(Firmware::loadImage(writeFile("max.bin", QByteArray(2097152, 'x'))).data.size(), 2097152);
        QCOMPARE(Firmware::loadImage(writeFile("big.bin", QByteArray(2097153, 'x'))).error,
                 Firmware::LoadError::TooLarge);
        QCOMPARE(Firmware::loadImage(writeFile("empty.bin", QByteArray())).error, Firmware::LoadError::Empty);
        QCOMPARE(Firmware::loadImage(m_dir->filePath("none.bin")).error, Firmware::LoadError::CannotOpen);
    }

    void transferStateMachine()
    {
        QList<QByteArray> sent;
        FirmwareTransfer t([&](const QByteArray &frame) { sent << frame; });
        t.setImage(randomImage(400, 2));   // 7 blocks
        QCOMPARE(give(t, handshakeReply()).reply, FirmwareTransfer::Reply::Ignored);   // not started
        QVERIFY(sent.isEmpty());

        t.begin();
        QCOMPARE(sent.size(), 1);
        for (int i = 0; i < 50; ++i)
            QVERIFY(!t.tick());
        // A bad CRC is no reply at all: the time-out keeps counting.
        QCOMPARE(give(t, handshakeReply(false)).reply, FirmwareTransfer::Reply::Ignored);
        // Nor is a frame longer than the report read: its CRC lies past the
        // report's end.
        const QByteArray whole = handshakeReply();
        QCOMPARE(t.receive(reinterpret_cast<const unsigned char *>(whole.constData()), 5).reply,
                 FirmwareTransfer::Reply::Ignored);
        QCOMPARE(t.ticks(), 50);
        QCOMPARE(give(t, handshakeReply()).reply, FirmwareTransfer::Reply::Handshake);
        QCOMPARE(t.ticks(), 0);
        for (int b = 0; b < 5; ++b)
            QVERIFY(give(t, ack(b)).blockSent);
        QCOMPARE(t.blockIndex(), 6);
        QCOMPARE(sent.last().mid(2, 2), bytes({5, 0}));

        // An old block's acknowledgement sends nothing but restarts the clock.
        for (int i = 0; i < 100; ++i)
            t.tick();
        const FirmwareTransfer::Outcome old = give(t, ack(4));
        QCOMPARE(old.reply, FirmwareTransfer::Reply::Ack);
        QVERIFY(!old.blockSent);
        QCOMPARE(sent.size(), 7);
        for (int i = 0; i < 119; ++i)
            QVERIFY(!t.tick());
        QVERIFY(t.isWaiting());
        QVERIFY(t.tick());
        QVERIFY(!t.isWaiting());
        QVERIFY(!t.tick());
        QCOMPARE(give(t, ack(5)).reply, FirmwareTransfer::Reply::Ignored);

        // A handshake during a transfer starts again from block 0; the last
        // block is short and nothing follows it.
        t.begin();
        give(t, handshakeReply());
        QCOMPARE(t.blockIndex(), 1);
        // Another image loaded meanwhile waits for the next transfer.
        const QByteArray first = t.image();
        t.setImage(randomImage(30, 9));
        for (int b = 0; b < 6; ++b)
            give(t, ack(b));
        QCOMPARE(t.remaining(), 0);
        QCOMPARE(int(sent.last()[1]), 400 - 6 * 58 + 6);
        QCOMPARE(sent.last().mid(4, 400 - 6 * 58), first.mid(6 * 58));
        const int frames = sent.size();
        QVERIFY(!give(t, ack(6)).blockSent);
        QCOMPARE(sent.size(), frames);
        QCOMPARE(give(t, reply(bytes({0x11}))).reply, FirmwareTransfer::Reply::Failure);
        QVERIFY(!t.isWaiting());

        // "Transfer complete" starts the wait for the burn afresh: a slow
        // last acknowledgement leaves the burn its whole time.
        t.setImage(randomImage(30, 9));
        t.begin();
        give(t, handshakeReply());
        for (int i = 0; i < 119; ++i)
            QVERIFY(!t.tick());
        QCOMPARE(give(t, reply(bytes({0xEE}))).reply, FirmwareTransfer::Reply::TransferComplete);
        for (int i = 0; i < 119; ++i)
            QVERIFY(!t.tick());
        QCOMPARE(give(t, reply(bytes({0xFF}))).reply, FirmwareTransfer::Reply::BurnComplete);
    }

    // A reply of an earlier transfer never drives the next one: begun again
    // while it waits, the transfer forgets the blocks it had sent, and a
    // block is never cut outside its image.
    void lateRepliesOfAnEndedTransfer()
    {
        QCOMPARE(Firmware::blockFrame(randomImage(100, 1), 2), QByteArray());
        QCOMPARE(Firmware::blockFrame(randomImage(100, 1), 25), QByteArray());

        QList<QByteArray> sent;
        FirmwareTransfer t([&](const QByteArray &frame) { sent << frame; });
        t.setImage(randomImage(3000, 3));
        t.begin();
        give(t, handshakeReply());
        for (int b = 0; b < 24; ++b)
            give(t, ack(b));
        QCOMPARE(t.blockIndex(), 25);
        t.setImage(randomImage(100, 4));
        t.begin();
        sent.clear();
        // Block 24's acknowledgement and "transfer complete" arrive before
        // the new handshake reply: neither is this transfer's.
        QCOMPARE(give(t, ack(24)).reply, FirmwareTransfer::Reply::Ignored);
        QCOMPARE(give(t, reply(bytes({0xEE}))).reply, FirmwareTransfer::Reply::Ignored);
        QVERIFY(sent.isEmpty());
        QCOMPARE(t.strayReplies(), 2);
        QVERIFY(t.isWaiting());
        // Its own handshake reply starts it at block 0 of the new image.
        give(t, handshakeReply());
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].left(4), bytes({0xCC, 0x40, 0x00, 0x00}));
        // An acknowledgement of a block it did not send: nothing goes out.
        QVERIFY(!give(t, ack(24)).blockSent);
        QVERIFY(give(t, ack(0)).blockSent);
        QCOMPARE(sent.last().left(4), bytes({0xCC, 100 - 58 + 6, 0x01, 0x00}));
        QVERIFY(!give(t, ack(1)).blockSent);
        QCOMPARE(sent.size(), 2);
    }

    void lateAckThroughTheWindow()
    {
        // The loader's replies come from the test alone, in a known order.
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        meter.setSilent(true);
        auto send = [&](const QByteArray &report) {
            sim::Report r{};
            std::copy(report.begin(), report.begin() + 64, r.begin());
            meter.inject(r);
        };
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        QTRY_VERIFY(d->worker()->usb_state() == 0 && d->meterPort().isOpen());
        load(*d, writeFile("a.bin", randomImage(3000, 11)));
        QVERIFY(f->upgrade_pushButton_start->isEnabled());
        f->upgrade_pushButton_start->click();
        // Image A: blocks 0 to 24 go out, then the loader fails.
        send(handshakeReply());
        for (int b = 0; b < 24; ++b)
            send(ack(b));
        QTRY_COMPARE(d->firmwareTransfer().blockIndex(), 25);
        send(reply(bytes({0x11})));
        QTRY_COMPARE(m_warnings.size(), 1);
        QCOMPARE(m_warnings[0].text, QStringLiteral("更新失败"));

        // Image B while the loader is silent; A's last acknowledgement comes late.
        load(*d, writeFile("b.bin", randomImage(100, 12)));
        meter.clearWritten();
        f->upgrade_pushButton_start->click();
        QTRY_VERIFY(d->firmwareTransfer().isWaiting());
        send(ack(24));
        QTRY_COMPARE(d->firmwareTransfer().strayReplies(), 1);
        int blocks = 0, handshakes = 0;
        for (const sim::Written &w : meter.written()) {
            blocks += w.bytes[0] == 0x55 && w.bytes[1] == 0xCC;
            handshakes += w.bytes[0] == 0x55 && w.bytes[1] == 0xAA;
        }
        QCOMPARE(handshakes, 1);
        QCOMPARE(blocks, 0);
        QCOMPARE(m_warnings.size(), 1);
        // B's own handshake reply starts it at block 0.
        send(handshakeReply());
        QTRY_COMPARE(d->firmwareTransfer().blockIndex(), 1);
        QCOMPARE(reportOf(meter.written().back()).left(5), bytes({0x55, 0xCC, 0x40, 0x00, 0x00}));
    }

    void imagesArriveWhole_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("58") << 58;
        QTest::newRow("59") << 59;
        QTest::newRow("100") << 100;
        QTest::newRow("3000") << 3000;
        QTest::newRow("2 MiB") << 2097152;
    }

    void imagesArriveWhole()
    {
        QFETCH(int, size);
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        meter.setBurnDelayMs(0);
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        QVERIFY(!f->upgrade_pushButton_start->isEnabled());
        meter.clearWritten();

        // A clock a thousand times fast: the transfer's duration is seconds.
        QElapsedTimer real;
        real.start();
        d->setClock([&real] { return qint64(1796000000000) + real.elapsed() * 1000; });
        const QByteArray image = randomImage(size, unsigned(size));
        const qint64 before = real.elapsed();
        QVERIFY(sendImage(*d, meter, image, 120000));
        const qint64 tookMs = real.elapsed() - before;
        QVERIFY(m_warnings.isEmpty());
        QCOMPARE(f->upgrade_progressBar_fw->value(), 100);
        QCOMPARE(f->upgrade_progressBar_fw->format(), QStringLiteral("当前进度为：100.0%"));
        QCOMPARE(f->upgrade_pushButton_start->text(), QStringLiteral("开始下载"));
        QVERIFY(!f->upgrade_pushButton_start->isEnabled());
        QVERIFY(!d->upgradeTimer()->isActive());
        const QString text = log(*d);
        for (const char *line : {"开始连接设备...", "握手成功...", "开始传输固件...", "传输完成...", "请等待设备烧写完成...",
                                 "烧写完成..."})
            QVERIFY2(text.contains(QString::fromUtf8(line)), line);
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\n[0-9.]+(KB|字节)/秒\\n"))));
        // The duration line: the whole seconds of the transfer on that clock
        // (a small image's transfer can take under a real millisecond).
        const QRegularExpressionMatch took = QRegularExpression(QStringLiteral("传输耗时([0-9]+)秒")).match(text);
        QVERIFY2(took.hasMatch(), qPrintable(text));
        const qint64 shown = took.captured(1).toLongLong();
        QVERIFY2(shown <= tookMs + 1 && (image.size() < (1 << 20) || shown >= 1),
                 qPrintable(took.captured(0) + QStringLiteral(" in %1 ms").arg(tookMs)));

        // The loader request on the dialog handle, then the handshake on the
        // worker's, lead byte 0x55 in front.
        const auto written = meter.written();
        const QByteArray loaderRequest = bytes({0x55, 0x05, 0x09, 0x02, 0x00, 0x00, 0x00, 0xEE, 0xFF}) + QByteArray(55, 0);
        int requestAt = -1, handshakeAt = -1;
        for (int i = 0; i < int(written.size()); ++i) {
            const QByteArray r = reportOf(written[size_t(i)]);
            if (r == loaderRequest && requestAt < 0)
                requestAt = i;
            if (r.startsWith(bytes({0x55, 0xAA, 0x06})) && handshakeAt < 0)
                handshakeAt = i;
        }
        QVERIFY(requestAt >= 0 && handshakeAt > requestAt);
        QVERIFY(written[size_t(requestAt)].handle != written[size_t(handshakeAt)].handle);
        if (size == 100)
            QCOMPARE(reportOf(written[size_t(handshakeAt)]),
                     bytes({0x55, 0xAA, 0x06, 0x02, 0x00, 0xC0, 0x9D}) + QByteArray(57, 0));
        if (size == 3000)
            QCOMPARE(f->upgrade_label_fwsizevalue->text(), QStringLiteral("固件大小:2.9KB   3000字节"));
        // A full block's report ends with the low byte of its CRC.
        const QByteArray block = reportOf(written[size_t(handshakeAt + 1)]);
        if (size >= 58)
            QCOMPARE(quint8(block[63]), quint8(referenceCrc(block.constData() + 1, 62) & 0xFF));
    }

    void refusedImages()
    {
        sim::attach().setReportRate(0);
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        load(*d, writeFile("good.bin", randomImage(100, 3)));
        const QString good = f->upgrade_lineEdit_filename->text();
        f->upgrade_pushButton_start->setEnabled(false);

        load(*d, writeFile("big.bin", QByteArray(2097153, 'x')));
        QCOMPARE(m_warnings.size(), 1);
        QCOMPARE(m_warnings[0].title, QStringLiteral("错误"));
        QCOMPARE(m_warnings[0].text, QStringLiteral("固件过大,请选择正确的固件"));
        load(*d, writeFile("empty.bin", QByteArray()));
        QCOMPARE(m_warnings[1].text, QStringLiteral("空的固件"));
        QVERIFY(log(*d).endsWith(QStringLiteral("固件是空的")));
        // A file that cannot be opened, and a folder, are told with the reason.
        load(*d, m_dir->filePath("missing.bin"));
        QCOMPARE(m_warnings[2].title, QStringLiteral("错误"));
        QCOMPARE(m_warnings[2].text,
                 QStringLiteral("无法打开固件：%1\nNo such file or directory").arg(m_dir->filePath("missing.bin")));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.bin")));
        load(*d, m_dir->filePath("folder.bin"));
        QCOMPARE(m_warnings.takeLast().text,
                 QStringLiteral("无法打开固件：%1\nIs a directory").arg(m_dir->filePath("folder.bin")));
        // A named pipe is refused by name, without waiting for a writer.
        const NamedPipe pipe(m_dir->filePath("pipe.bin"), NamedPipe::ProgramReads);
        QVERIFY(pipe.made());
        load(*d, m_dir->filePath("pipe.bin"));
        QVERIFY(!pipe.touched());
        QCOMPARE(m_warnings[3].title, QStringLiteral("错误"));
        QCOMPARE(m_warnings[3].text, QStringLiteral("无法打开固件：%1\n不是普通文件（例如命名管道或设备）")
                                         .arg(m_dir->filePath("pipe.bin")));
        QVERIFY(log(*d).endsWith(m_warnings[3].text));
        // Cancelled: only the first log line.
        load(*d, QString());
        QCOMPARE(m_warnings.size(), 4);
        QVERIFY(log(*d).endsWith(QStringLiteral("打开文件...")));
        // The good image is still the one loaded, and nothing enabled the start.
        QCOMPARE(f->upgrade_lineEdit_filename->text(), good);
        QCOMPARE(d->firmwareTransfer().image().size(), 100);
        QVERIFY(!f->upgrade_pushButton_start->isEnabled());
    }

    void failuresEndTheTransfer_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("failure reply") << "failure" << "更新失败";
        QTest::newRow("silence") << "silence" << "USB更新失败,超时";
        QTest::newRow("write failure") << "write" << "USB发送数据异常";
        QTest::newRow("unplugged") << "unplug" << "USB更新失败,超时";
    }

    void failuresEndTheTransfer()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        meter.setBurnDelayMs(0);
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        load(*d, writeFile("fw.bin", randomImage(5000, 4)));

        if (fault == QLatin1String("failure"))
            meter.failureReply(1);
        if (fault == QLatin1String("silence"))
            meter.setSilent(true);
        if (fault == QLatin1String("write"))
            d->setLoaderWait([&](int) { meter.failWrites(1); });
        if (fault == QLatin1String("unplug"))
            meter.dropAcks(1);
        f->upgrade_pushButton_start->click();
        QVERIFY(!f->upgrade_pushButton_start->isEnabled());

        if (fault == QLatin1String("unplug")) {
            QTRY_COMPARE(d->firmwareTransfer().blockIndex(), 1);
            meter.unplug();
            QTRY_VERIFY(log(*d).contains(QStringLiteral("设备已断开")));
        }
        if (fault == QLatin1String("silence")) {
            // 119 ticks without a reply are not yet too many.
            for (int i = 0; i < 119; ++i)
                d->mytimer_timeout();
            QVERIFY(m_warnings.isEmpty());
            d->mytimer_timeout();
        }
        if (fault == QLatin1String("unplug")) {
            // The window's own timer has ticked meanwhile; the rest of the 120.
            for (int i = 0; i < Firmware::kTickLimit && m_warnings.isEmpty(); ++i)
                d->mytimer_timeout();
        }
        QTRY_COMPARE(m_warnings.size(), 1);
        QCOMPARE(m_warnings[0].text, message);
        QVERIFY(!m_warnings[0].transferLive);
        QVERIFY(!d->firmwareTransfer().isWaiting());
        QVERIFY(!d->upgradeTimer()->isActive());
        QVERIFY(!f->upgrade_pushButton_start->isEnabled());
        QCOMPARE(f->upgrade_pushButton_start->text(), QStringLiteral("正在下载"));

        // The program goes on: the next image arrives whole.
        meter.setSilent(false);
        d->setLoaderWait([](int) {});
        if (!meter.plugged()) {
            // Back in the worker and in the device list (which reopens the
            // dialog's own handle and resumes the run).
            meter.plug();
            QTRY_VERIFY_WITH_TIMEOUT(d->worker()->usb_state() == 0 && d->isPlotting(), 3000);
        }
        m_warnings.clear();
        QVERIFY(sendImage(*d, meter, randomImage(3000, 5)));
        QVERIFY(m_warnings.isEmpty());
    }

    void noSecondImageDuringTransfer()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        meter.setBurnDelayMs(0);
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        Ui::MainDialog *f = d->form();
        const QByteArray first = randomImage(60000, 6);
        load(*d, writeFile("first.bin", first));
        const QString firstPath = f->upgrade_lineEdit_filename->text();
        meter.clearWritten();
        clickThroughWindow(f->upgrade_pushButton_start);
        while (d->firmwareTransfer().blockIndex() < 3)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);

        // Another image chosen mid-transfer, by the button and by its slot,
        // and a second start: none of them reaches the transfer.
        m_chosenFile = writeFile("second.bin", randomImage(100, 7));
        const bool openEnabled = f->upgrade_pushButton_openfile->isEnabled();
        clickThroughWindow(f->upgrade_pushButton_openfile);
        // What the buttons' handlers do, called while the buttons are off.
        emit f->upgrade_pushButton_openfile->clicked();
        emit f->upgrade_pushButton_start->clicked();
        QTRY_VERIFY_WITH_TIMEOUT(log(*d).contains(QStringLiteral("本次下载结束")), 60000);
        const std::vector<unsigned char> got = meter.receivedImage();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), int(got.size())), first);
        int handshakes = 0;
        for (const sim::Written &w : meter.written())
            handshakes += w.bytes[1] == 0xAA && w.bytes[2] == 0x06;
        QCOMPARE(handshakes, 1);
        QCOMPARE(f->upgrade_lineEdit_filename->text(), firstPath);
        QVERIFY(m_warnings.isEmpty());
        QVERIFY(!openEnabled);

        // Over: another image can be loaded, and goes out whole.
        QVERIFY(f->upgrade_pushButton_openfile->isEnabled());
        QVERIFY(sendImage(*d, meter, randomImage(3000, 8)));
    }

    void settingsFrames()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        MainDialog d;
        Ui::MainDialog *f = d.form();
        meter.clearWritten();
        auto lastWritten = [&] { return reportOf(meter.written().back()); };

        f->settings_slider_worklight->setValue(5);
        QCOMPARE(lastWritten(), bytes({0x55, 0x05, 0x0A, 0x22, 0, 0, 0, 0x05, 0xEE, 0xFF}) + QByteArray(54, 0));
        QCOMPARE(f->settings_label_worklight->text(), QStringLiteral("5"));
        f->settings_btn_style3->click();
        QCOMPARE(lastWritten(), bytes({0x55, 0x05, 0x09, 0x30, 0, 0, 0, 0xEE, 0xFF}) + QByteArray(55, 0));
        QVERIFY(f->settings_btn_style3->styleSheet().contains(QLatin1String("rgb(0, 170, 0)")));
        QVERIFY(!f->settings_btn_style1->styleSheet().contains(QLatin1String("rgb(0, 170, 0)")));
        f->settings_slider_voltcali->setValue(1234);
        QCOMPARE(f->settings_lab_califact_voltvalue->text(), QStringLiteral("1.234"));
        QCOMPARE(lastWritten().left(10), bytes({0x55, 0x05, 0x0A, 0x2A, 0x3F, 0x9D, 0xF3, 0xB6, 0xEE, 0xFF}));
        f->settings_btn_factory_reset->click();
        QCOMPARE(int(lastWritten()[3]), 0x28);
        f->settings_slider_worklight_k4->setValue(80);
        QCOMPARE(lastWritten().left(10), bytes({0x55, 0x05, 0x0A, 0x22, 0, 0, 0, 80, 0xEE, 0xFF}));

        // The meter reports a new standby time: one frame sends it back;
        // the same report again sends nothing.
        auto standbyFrames = [&] {
            int n = 0;
            for (const sim::Written &w : meter.written())
                n += w.bytes[2] == 0x0A && w.bytes[3] == 0x24;
            return n;
        };
        sim::MeterSettings s = meter.settings();
        s.standbyTime = 45;
        meter.setSettings(s);
        meter.clearWritten();
        d.usb_send_code(0x46);   // the meter answers with its settings
        d.dashboardTick();
        QCOMPARE(standbyFrames(), 1);
        QCOMPARE(f->settings_slider_standtime->value(), 45);
        d.dashboardTick();   // the meter's answers to the echo
        d.usb_send_code(0x46);
        d.dashboardTick();
        QCOMPARE(standbyFrames(), 1);

        // Without an open handle the page still answers, and nothing is written.
        sim::Identity other;
        other.vendorId = 0x1234;
        sim::Meter &stranger = sim::attach(other);
        sim::reset();
        MainDialog alone;
        alone.form()->settings_btn_10ma->click();
        alone.form()->settings_slider_standlight->setValue(7);
        QVERIFY(alone.form()->settings_btn_10ma->styleSheet().contains(QLatin1String("rgb(0, 170, 0)")));
        QCOMPARE(alone.form()->settings_label_standlight->text(), QStringLiteral("7"));
        QVERIFY(stranger.written().empty());
        QVERIFY(!alone.meterPort().isOpen());
    }
};

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
