#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>

struct hid_device_;
typedef struct hid_device_ hid_device;

// Worker that owns its own handle to the meter: it watches the connection
// (an open attempt or liveness probe every 500 ms), opens the meter again
// after it was unplugged, passes every input report on, and writes the
// reports of the firmware upgrade.
class USBThread : public QThread
{
    Q_OBJECT
public:
    // How long one read waits for a report before the loop turns again: a
    // report is passed on as soon as it arrives, and an unplug ends the
    // wait at once, so this only bounds how soon a stop is seen.
    static constexpr int kReadWaitMs = 100;
    // Pause of the loop while no meter is open, between checks of the stop.
    static constexpr int kIdleWaitMs = 20;
    // Pacing of open attempts and liveness probes.
    static constexpr qint64 kAttemptIntervalMs = 500;

    explicit USBThread(QObject *parent = nullptr);
    ~USBThread() override;

    // The first, synchronous connection attempt, made before start().
    bool usb_open();
    // Writes one output report: 0x55, then the first 63 bytes of `data`,
    // zero-filled. Does nothing while not connected.
    void usb_write(const unsigned char *data, unsigned int length);
    void usb_stop();
    // 0 connected, 1 not connected.
    int usb_state() const { return m_usbState.load(); }
    uint8_t reportId() const { return m_reportId; }

    unsigned short vid = 0;
    unsigned short pid = 0;

signals:
    // One complete 64-byte input report. Emitted in the thread that owns this
    // object, with a buffer nobody writes until the receivers have returned.
    void new_data(unsigned char *data, unsigned int length);
    void usb_connect(QString dev_str);
    void usb_disconnect();
    void usb_send_error();
    // The meter is there but cannot be opened for want of permission on its
    // device node (emitted once per node until an open succeeds).
    void usb_access_denied(QString node);

    // Carries a copy of each report out of the worker thread (internal).
    void reportRead(QByteArray report, QPrivateSignal);

protected:
    void run() override;

private:
    bool openDevice();
    void releaseHandle();
    void passOn(int bytesRead);
    void deliver(QByteArray report);

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_usbState{1};
    unsigned char m_buffer[64] = {};
    uint8_t m_reportId = 0x55;
    qint64 m_lastAttempt = 0;
    hid_device *m_handle = nullptr;
    QString m_deniedNode;   // last node reported as refused
    QMutex m_handleLock;   // usb_write against release of the handle
};
