#include "device/usbthread.h"

#include "base/crashreport.h"
#include "base/setting.h"
#include "device/hidglobal.h"
#include "device/meterport.h"

#include <QDateTime>
#include <QMutexLocker>

#include <hidapi.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}
} // namespace

USBThread::USBThread(QObject *parent) : QThread(parent)
{
    Setting setting;
    const QString stored = setting.read(QStringLiteral("report_id"));
    if (!stored.isEmpty())
        m_reportId = static_cast<uint8_t>(stored.toInt());
    else
        setting.write(QStringLiteral("report_id"), QStringLiteral("85"));

    // Reports leave the worker thread as copies; this object lives in the
    // GUI thread, so new_data is emitted there.
    connect(this, &USBThread::reportRead, this, &USBThread::deliver, Qt::QueuedConnection);

    HidGlobal::init();
    m_lastAttempt = nowMs();
}

USBThread::~USBThread()
{
    usb_stop();
    wait();
    releaseHandle();
}

bool USBThread::openDevice()
{
    // The first meter listed, as hid_open(vid, pid, nullptr) would take it;
    // opened by its path so a refusal can name the node.
    hid_device_info *list = HidGlobal::enumerate(vid, pid);
    if (!list)
        return false;
    const QString node = QString::fromLocal8Bit(list->path ? list->path : "");
    hid_device *handle = list->path ? HidGlobal::openPath(list->path) : nullptr;
    const int openError = errno;
    hid_free_enumeration(list);
    if (!handle) {
        if (openRefused(node, openError) && node != m_deniedNode) {
            m_deniedNode = node;
            emit usb_access_denied(node);
        }
        return false;
    }
    m_deniedNode.clear();
    {
        QMutexLocker lock(&m_handleLock);
        m_handle = handle;
    }
    m_usbState = 0;
    emit usb_connect(readHidString(handle, hid_get_product_string));
    return true;
}

bool USBThread::usb_open()
{
    m_usbState = 1;
    return openDevice();
}

void USBThread::releaseHandle()
{
    QMutexLocker lock(&m_handleLock);
    m_usbState = 1;
    if (m_handle) {
        hid_close(m_handle);
        m_handle = nullptr;
    }
}

void USBThread::usb_write(const unsigned char *data, unsigned int length)
{
    unsigned char report[64] = {};
    report[0] = 0x55;
    if (data)
        std::memcpy(report + 1, data, std::min(length, 63u));

    int written;
    {
        QMutexLocker lock(&m_handleLock);
        if (m_usbState.load() != 0 || !m_handle)
            return;
        written = hid_write(m_handle, report, sizeof report);
    }
    if (written < 64)
        emit usb_send_error();
}

void USBThread::usb_stop()
{
    m_stop = true;
}

void USBThread::passOn(int bytesRead)
{
    if (bytesRead == 64)
        emit reportRead(QByteArray(reinterpret_cast<const char *>(m_buffer), 64), QPrivateSignal());
}

void USBThread::deliver(QByteArray report)
{
    emit new_data(reinterpret_cast<unsigned char *>(report.data()), static_cast<unsigned int>(report.size()));
}

void USBThread::run()
{
    // A fault in this thread is reported like one in the window's.
    const CrashReport::ThreadGuard crashStack;
    for (;;) {
        if (m_stop.load()) {
            quit();
            return;
        }
        if (m_usbState.load() == 0) {
            // Wait for a report rather than spinning: a report is still passed
            // on as soon as it is queued.
            const int n = hid_read_timeout(m_handle, m_buffer, sizeof m_buffer, kReadWaitMs);
            if (n == 64) {
                passOn(n);
                continue;
            }
            // A failed read is most often a meter pulled out: probe at once
            // rather than at the next 500 ms turn.
            const qint64 now = nowMs();
            if (n < 0 || now - m_lastAttempt >= kAttemptIntervalMs) {
                m_lastAttempt = now;
                const int probe = hid_read_timeout(m_handle, m_buffer, sizeof m_buffer, 0);
                if (probe == -1) {
                    releaseHandle();
                    emit usb_disconnect();
                } else {
                    // A report that arrived just now is not lost to the probe.
                    passOn(probe);
                    // A read that failed with the meter still there returns at
                    // once; do not spin on it.
                    if (n < 0)
                        msleep(kIdleWaitMs);
                }
            }
        } else {
            const qint64 now = nowMs();
            if (now - m_lastAttempt >= kAttemptIntervalMs) {
                m_lastAttempt = now;
                openDevice();
            }
        }
        if (m_usbState.load() == 1)
            msleep(kIdleWaitMs);
    }
}
