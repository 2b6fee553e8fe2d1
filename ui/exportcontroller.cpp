#include "ui/exportcontroller.h"

#include "recording/newfile.h"
#include "recording/savedatadeal.h"
#include "recording/sigroksession.h"
#include "ui/prompts.h"

#include <QApplication>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QWidget>

ExportController::ExportController(QWidget *window, QWidget *chart, QObject *parent)
    : QObject(parent), m_window(window), m_chart(chart)
{
}

void ExportController::exportCsv(const ReadingLog &log, const QString &model)
{
    saveDataDeal deal(log, model);
    if (log.size() < 20)
        Prompts::information(m_window, tr("提示信息"), tr("数据太少了吧，请记录至少二十条数据。"));
    // An existing file is appended to, so the dialog does not ask to replace it.
    const QString name = Prompts::getSaveFileName(m_window, tr("Excel file"), QCoreApplication::applicationDirPath(),
                                                  tr("Files (*.csv)") + QStringLiteral(";;sigrok (*.sr)"), false);
    if (name.isEmpty())
        return;
    const bool sigrok = name.endsWith(QLatin1String(".sr"), Qt::CaseInsensitive);
    if (sigrok && QFileInfo::exists(name)
        && !Prompts::question(m_window, tr("Excel file"),
                              tr("%1 已存在。要替换它吗？").arg(QDir::toNativeSeparators(name))))
        return;
    QString reason;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool written = false;
    if (sigrok) {
        const QByteArray bytes = SigrokSession::ofRun(log, model, &reason);
        written = !bytes.isEmpty() && OutputFile::writeDocument(name, bytes, &reason);
    } else {
        written = deal.writeCsv(name, &reason);
    }
    QApplication::restoreOverrideCursor();
    if (!written)
        Prompts::warning(m_window, tr("错误"),
                         tr("无法写入文件：") + QDir::toNativeSeparators(name) + QLatin1Char('\n') + reason);
}

void ExportController::exportPicture()
{
    // The chart as it is now, before the dialog.
    const QImage picture = m_chart->grab().toImage();
    QString name = Prompts::getSaveFileName(m_window, tr("Save File"), QStringLiteral("chart"), tr("image(*.png)"));
    if (name.isEmpty())
        return;
    // The save dialog asked about the name without the suffix: ask about the
    // file that is written.
    const bool suffixAdded = QFileInfo(name).suffix().isEmpty();
    if (suffixAdded)
        name += QStringLiteral(".png");
    if (suffixAdded && QFileInfo::exists(name)
        && !Prompts::question(m_window, tr("Save File"),
                              tr("%1 已存在。要替换它吗？").arg(QDir::toNativeSeparators(name))))
        return;
    // The format by the suffix, as a save by name chooses it.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QFileInfo(name).suffix().toLower().toLatin1());
    QString reason;
    if (!writer.write(picture))
        reason = writer.errorString();
    else
        OutputFile::writeDocument(name, bytes, &reason);
    if (!reason.isEmpty())
        Prompts::warning(m_window, tr("错误"),
                         tr("无法保存图片：") + QDir::toNativeSeparators(name) + QLatin1Char('\n') + reason);
}
