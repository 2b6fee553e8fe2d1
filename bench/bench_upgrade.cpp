// A 2 MiB firmware transfer to the simulated loader, which answers at once:
// prints blocks per second, the wall time per block and the GUI thread's CPU
// time per block (the host's own work for each block: taking the
// acknowledgement, building and writing the next block, showing progress).
// Target: at most 50 us of host time per block (USB itself needs about
// 2,000 us a block, so the host never limits a real transfer).
#include "benchfolders.h"
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui_maindialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <time.h>

#include <cstdio>

namespace {
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}
} // namespace

int main(int argc, char *argv[])
{
    const BenchFolders dir;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Startup::applyLook(app);

    const int size = 2097152;
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char(i * 7 + (i >> 9));
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != size)
        return 1;
    file.close();

    sim::Meter &meter = sim::attach();
    meter.setReportRate(0);
    meter.setBurnDelayMs(0);
    MainDialog d;
    d.setLoaderWait([](int) {});
    Prompts::setOpenFileHandler([&](QWidget *, const QString &, const QString &, const QString &) { return path; });
    Prompts::setWarningHandler([](QWidget *, const QString &, const QString &text) {
        std::printf("warning: %s\n", qPrintable(text));
    });
    d.form()->disp_btnUpgrade->click();
    d.form()->upgrade_pushButton_openfile->click();

    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuSeconds();
    d.form()->upgrade_pushButton_start->click();
    while (!d.form()->upgrade_text_log->toPlainText().contains(QStringLiteral("本次下载结束")) && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = threadCpuSeconds() - cpu0;
    const int blocks = d.firmwareTransfer().blockIndex();

    const std::vector<unsigned char> got = meter.receivedImage();
    const bool whole = got.size() == size_t(size) && std::equal(got.begin(), got.end(), image.constData(),
                                                                [](unsigned char a, char b) { return a == (unsigned char)b; });
    std::printf("2 MiB image, %d blocks, %s\n", blocks, whole ? "arrived whole" : "NOT arrived whole");
    std::printf("%.0f blocks per second, %.1f us wall per block, %.1f us GUI-thread CPU per block\n",
                blocks / seconds, seconds * 1e6 / blocks, cpu * 1e6 / blocks);
    return whole ? 0 : 1;
}
