// The comparison saved: the chart as PNG, the runs' records as CSV, and the
// comparison's report as PDF or HTML.
#include "ui/comparewindow.h"

#include "charts/chartview.h"
#include "charts/measurecursors.h"
#include "recording/newfile.h"
#include "report/runreport.h"
#include "ui/prompts.h"

#include <QApplication>
#include <QBuffer>

void CompareWindow::savePng()
{
    const QImage image = m_view->grab().toImage();
    const QString path = Prompts::getSaveFileName(this, tr("Save File"), QStringLiteral("compare.png"), tr("image(*.png)"));
    if (path.isEmpty())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QString why;
    if (!image.save(&buffer, "PNG") || !OutputFile::writeDocument(path, png, &why))
        Prompts::warning(this, tr("错误"), tr("无法写入 %1：%2").arg(path, why));
}

void CompareWindow::saveCsv()
{
    const QString path = Prompts::getSaveFileName(this, tr("Save File"), QStringLiteral("compare.csv"),
                                                  QStringLiteral("CSV (*.csv);;sigrok (*.sr)"));
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (path.endsWith(QLatin1String(".sr"), Qt::CaseInsensitive)) {
        bytes = m_model.sigrokSession(&why);
    } else {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!m_model.writeCsv(buffer))
            bytes.clear();
    }
    QApplication::restoreOverrideCursor();
    if (bytes.isEmpty() || !OutputFile::writeDocument(path, bytes, &why))
        Prompts::warning(this, tr("错误"), tr("无法写入 %1：%2").arg(path, why));
}

void CompareWindow::saveReport()
{
    const QString path = Prompts::getSaveFileName(
        this, tr("报告"),
        m_model.isBench() ? RunReport::fileName(m_model.bench().name, QStringLiteral(".pdf")) : QStringLiteral("compare.pdf"),
        QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
    if (path.isEmpty())
        return;
    const bool html = path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)
                      || path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    RunReport::Interval cursors;
    if (m_cursors->isSet())
        cursors = {true, m_cursors->a() - axisBase(), m_cursors->b() - axisBase()};
    const bool ok = m_model.isBench() ? RunReport::writeBench(*m_journal, m_model.bench().id, path, html, &why)
                                      : RunReport::writeComparison(m_model, path, html, &why, cursors);
    QApplication::restoreOverrideCursor();
    if (!ok)
        Prompts::warning(this, tr("错误"), tr("无法写入 %1：%2").arg(path, why));
}
