// The firmware upgrade page: loading the image and driving its transfer to
// the meter's loader, with progress, log and time-out.
#include "ui/upgradecontroller.h"

#include "base/setting.h"
#include "device/usbthread.h"
#include "ui/prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>

namespace {
void waitBlocking(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QThread::msleep(10);
}
} // namespace

UpgradeController::UpgradeController(const Page &page, USBThread *worker, std::function<qint64()> clock,
                                     std::function<void()> requestLoader, QWidget *window)
    : QObject(window),
      m_page(page),
      m_worker(worker),
      m_clock(std::move(clock)),
      m_requestLoader(std::move(requestLoader)),
      m_window(window),
      m_transfer([this](const QByteArray &frame) {
          m_worker->usb_write(reinterpret_cast<const unsigned char *>(frame.constData()), frame.size());
      }),
      m_loaderWait(waitBlocking)
{
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &UpgradeController::timeout);
    connect(m_page.openFile, &QPushButton::clicked, this, &UpgradeController::openFile);
    connect(m_page.start, &QPushButton::clicked, this, &UpgradeController::start);
}

bool UpgradeController::transferRunning() const
{
    return m_starting || m_transfer.isWaiting();
}

void UpgradeController::resetProgress()
{
    QProgressBar *bar = m_page.progress;
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setOrientation(Qt::Horizontal);
    bar->setAlignment(Qt::AlignCenter);
    bar->setFormat(QStringLiteral("loading"));
    bar->setTextVisible(true);
}

void UpgradeController::openFile()
{
    // The image under a running transfer is not to be touched.
    if (transferRunning())
        return;
    QTextEdit *log = m_page.log;
    log->append(QCoreApplication::translate("MainDialog", "打开文件..."));
    const QString path = Prompts::getOpenFileName(m_window, QCoreApplication::translate("MainDialog", "打开固件文件"), Setting().read(QStringLiteral("file_path")),
                                                  QCoreApplication::translate("MainDialog", "BIN文件(*.bin)"));
    if (path.isEmpty())
        return;

    const Firmware::Image image = Firmware::loadImage(path);
    switch (image.error) {
    case Firmware::LoadError::CannotOpen: {
        // A folder, a file without read permission: the system's reason.
        const QString text = QCoreApplication::translate("MainDialog", "无法打开固件：") + QDir::toNativeSeparators(path) + QLatin1Char('\n') + image.reason;
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"), text);
        log->append(text);
        return;
    }
    case Firmware::LoadError::NotRegular: {
        const QString text = QCoreApplication::translate("MainDialog", "无法打开固件：") + QDir::toNativeSeparators(path) + QLatin1Char('\n')
                             + QCoreApplication::translate("MainDialog", "不是普通文件（例如命名管道或设备）");
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"), text);
        log->append(text);
        return;
    }
    case Firmware::LoadError::TooLarge:
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"), QCoreApplication::translate("MainDialog", "固件过大,请选择正确的固件"));
        log->append(QCoreApplication::translate("MainDialog", "固件过大,请选择正确的固件"));
        return;
    case Firmware::LoadError::Empty:
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"), QCoreApplication::translate("MainDialog", "空的固件"));
        log->append(QCoreApplication::translate("MainDialog", "固件是空的"));
        return;
    case Firmware::LoadError::None:
        break;
    }

    m_page.fileName->setText(path);
    Setting().write(QStringLiteral("file_path"), path);
    m_transfer.setImage(image.data);
    m_page.size->setText(Firmware::sizeText(image.data.size()));
    m_page.start->setText(QStringLiteral("开始下载"));
    log->append(QStringLiteral("读取文件完成..."));
    if (m_worker->usb_state() == 0)
        m_page.start->setEnabled(true);
}

void UpgradeController::start()
{
    // One transfer at a time, of the image loaded when it started.
    if (transferRunning() || m_transfer.image().isEmpty())
        return;
    QPushButton *start = m_page.start;
    // Disabled from the click: a second click during the wait finds it so.
    start->setEnabled(false);
    m_page.openFile->setEnabled(false);
    m_starting = true;
    m_page.progress->setValue(0);
    start->repaint();
    m_page.progress->repaint();

    // The loader request goes out with the next tick's frame, at once.
    m_requestLoader();
    // The meter needs this long to start its loader. Replies queued meanwhile
    // are handled after the handshake has gone out.
    m_loaderWait(3000);
    m_starting = false;

    m_timer->start(100);
    start->setText(QStringLiteral("正在下载"));
    m_page.log->clear();
    m_page.log->append(QStringLiteral("开始连接设备..."));
    m_transfer.begin();
}

void UpgradeController::showProgress(double percent)
{
    QProgressBar *bar = m_page.progress;
    bar->setFormat(QStringLiteral("当前进度为：%1%").arg(percent, 0, 'f', 1));
    bar->setValue(int(percent));
}

void UpgradeController::endTransfer()
{
    m_timer->stop();
    m_transfer.abort();
    m_page.openFile->setEnabled(true);
}

void UpgradeController::receive(unsigned char *data, unsigned int length)
{
    const FirmwareTransfer::Outcome out = m_transfer.receive(data, length);
    QTextEdit *log = m_page.log;
    const qint64 size = m_transfer.sending().size();
    switch (out.reply) {
    case FirmwareTransfer::Reply::Ignored:
        return;
    case FirmwareTransfer::Reply::Handshake:
        m_startMs = m_clock();
        log->append(QCoreApplication::translate("MainDialog", "握手成功..."));
        log->append(QCoreApplication::translate("MainDialog", "开始传输固件..."));
        break;
    case FirmwareTransfer::Reply::Ack:
        break;
    case FirmwareTransfer::Reply::TransferComplete: {
        const qint64 endMs = m_clock();
        const qint64 seconds = endMs / 1000 - m_startMs / 1000;
        log->append(QCoreApplication::translate("MainDialog", "传输完成..."));
        log->append(QCoreApplication::translate("MainDialog", "传输耗时") + QString::number(seconds) + QStringLiteral("秒"));
        log->append(Firmware::speedText(size, seconds, endMs - m_startMs));
        log->append(QCoreApplication::translate("MainDialog", "请等待设备烧写完成..."));
        return;
    }
    case FirmwareTransfer::Reply::BurnComplete:
        endTransfer();
        log->append(QCoreApplication::translate("MainDialog", "下载烧写过程耗时") + QString::number(m_clock() / 1000 - m_startMs / 1000)
                    + QStringLiteral("秒"));
        showProgress(100.0);
        log->append(QCoreApplication::translate("MainDialog", "烧写完成..."));
        log->append(QCoreApplication::translate("MainDialog", "本次下载结束"));
        m_page.start->setText(QCoreApplication::translate("MainDialog", "开始下载"));
        return;
    case FirmwareTransfer::Reply::Failure:
        endTransfer();
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "error"), QCoreApplication::translate("MainDialog", "更新失败"));
        return;
    }
    if (out.blockSent)
        showProgress(Firmware::progress(m_transfer.blockIndex(), size));
    if (out.reply == FirmwareTransfer::Reply::Ack && m_page.progress->value() > 99)
        showProgress(99.9);
}

void UpgradeController::timeout()
{
    if (!m_transfer.tick())
        return;
    endTransfer();
    Prompts::warning(m_window, QStringLiteral("错误"), QStringLiteral("USB更新失败,超时"));
}

void UpgradeController::sendError()
{
    // Ended before the box: its modal loop must not run the time-out on.
    if (m_transfer.isWaiting())
        endTransfer();
    Prompts::warning(m_window, QStringLiteral("错误"), QStringLiteral("USB发送数据异常"));
}
