// Start-up of Ombrel. For now the meter link alone: it reports the meter's
// connection on the terminal until interrupted.
#include "device/usbthread.h"

#include <QCoreApplication>
#include <QTextStream>

#include <hidapi.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    int status;
    {
        USBThread worker;
        worker.vid = 0x0483;
        worker.pid = 0x5750;
        QObject::connect(&worker, &USBThread::usb_connect,
                         [&](const QString &product) { out << "connected: " << product << Qt::endl; });
        QObject::connect(&worker, &USBThread::usb_disconnect, [&] { out << "disconnected" << Qt::endl; });
        worker.usb_open();
        worker.start();
        status = app.exec();
    }
    hid_exit();
    return status;
}
