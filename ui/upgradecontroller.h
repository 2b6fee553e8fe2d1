#pragma once

#include "device/firmwareupgrade.h"

#include <QObject>
#include <QTimer>

#include <functional>

class USBThread;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QWidget;

// The firmware upgrade page: the image chosen, its transfer to the meter's
// loader through the worker thread, the progress, the log and the time-out.
class UpgradeController : public QObject
{
    Q_OBJECT
public:
    // The page's widgets the controller fills and follows.
    struct Page {
        QLineEdit *fileName;
        QLabel *size;
        QProgressBar *progress;
        QPushButton *openFile;
        QPushButton *start;
        QTextEdit *log;
    };

    // `requestLoader` sends the loader request with the next tick's frame at
    // once; `window` owns the controller and the questions it asks.
    UpgradeController(const Page &page, USBThread *worker, std::function<qint64()> clock,
                      std::function<void()> requestLoader, QWidget *window);

    QTimer *timer() const { return m_timer; }
    const FirmwareTransfer &transfer() const { return m_transfer; }
    // How the upgrade waits for the meter to enter its loader (blocking).
    void setLoaderWait(std::function<void(int ms)> wait) { m_loaderWait = std::move(wait); }
    void resetProgress();

    // A report from the meter, a write that failed, the time-out's tick.
    void receive(unsigned char *data, unsigned int length);
    void sendError();
    void timeout();

private:
    void openFile();
    void start();
    void showProgress(double percent);
    void endTransfer();
    bool transferRunning() const;

    Page m_page;
    USBThread *m_worker;
    std::function<qint64()> m_clock;
    std::function<void()> m_requestLoader;
    QWidget *m_window;
    FirmwareTransfer m_transfer;
    QTimer *m_timer = nullptr;
    std::function<void(int ms)> m_loaderWait;
    bool m_starting = false;   // between the start click and the handshake
    qint64 m_startMs = 0;
};
