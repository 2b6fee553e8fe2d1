#include "report/runreport.h"

#include "base/timetext.h"
#include "charts/curvereduction.h"
#include "charts/curvestyle.h"
#include "device/channels.h"
#include "recording/newfile.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "report/runcomparison.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace RunReport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RunReport", text);
}

QString localText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString num(double v, int decimals = 6)
{
    return QString::number(v, 'f', decimals);
}

struct Table {
    QStringList header;
    QVector<QStringList> rows;
};

struct Chart {
    QString title, unit;
    QVector<Curve> curves;
    qint64 fromMs = 0, toMs = 0;
    QVector<Mark> marks;
};

// What a report holds, whether painted as PDF or written as HTML.
struct Document {
    QString title;
    QVector<QPair<QString, QString>> info;
    QString notes;
    QVector<Table> tables;       // first page
    QVector<QPair<QString, QString>> marks;   // time, name
    QVector<Chart> charts;       // second page
    QString legend;              // comparison: names in their colours
    QVector<QPair<QString, QColor>> legendItems;
    bool chartsFirst = false;    // a comparison: its chart, then its table
};

constexpr int kReportColumns = 900;   // columns a chart of the report is reduced to

// ---- PDF --------------------------------------------------------------

class PdfPainter
{
public:
    PdfPainter(QPainter &p, QPdfWriter &w) : m_p(p), m_w(w), m_width(w.width()), m_height(w.height()) {}

    void newPage()
    {
        m_w.newPage();
        m_y = 0;
    }
    bool fits(double h) const { return m_y + h <= m_height; }

    void text(const QString &s, double pointSize, bool bold = false, const QColor &colour = Qt::black)
    {
        QFont f = m_p.font();
        f.setPointSizeF(pointSize);
        f.setBold(bold);
        m_p.setFont(f);
        m_p.setPen(colour);
        const QFontMetricsF fm(f, &m_w);
        // Line by line, so a long text goes on to the next page.
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        for (const QString &paragraph : QString(s).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'))) {
            QTextLayout layout(paragraph, f, &m_w);
            layout.setTextOption(wrap);
            layout.beginLayout();
            double y = 0;
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(m_width);
                line.setPosition(QPointF(0, y));
                y += line.height();
            }
            layout.endLayout();
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine line = layout.lineAt(i);
                if (!fits(line.height()) && m_y > 0)
                    newPage();
                line.draw(&m_p, QPointF(0, m_y - line.y()));
                m_y += line.height();
            }
        }
        m_y += fm.height() * 0.25;
    }

    void table(const Table &t, double pointSize)
    {
        QFont f = m_p.font();
        f.setPointSizeF(pointSize);
        f.setBold(false);
        m_p.setFont(f);
        const QFontMetricsF fm(f, &m_w);
        const int columns = t.header.size();
        if (columns == 0)
            return;
        // The first column as wide as its texts, the others share the rest.
        double first = fm.horizontalAdvance(t.header[0]);
        for (const QStringList &row : t.rows)
            first = std::max(first, fm.horizontalAdvance(row.value(0)));
        first = std::min(first + fm.height(), m_width * 0.4);
        const double other = columns > 1 ? (m_width - first) / (columns - 1) : 0;
        const double rowH = fm.height() * 1.35;
        auto drawRow = [&](const QStringList &row, bool bold, bool shade) {
            if (!fits(rowH))
                newPage();
            if (shade)
                m_p.fillRect(QRectF(0, m_y, m_width, rowH), QColor(238, 238, 238));
            QFont rf = f;
            rf.setBold(bold);
            m_p.setFont(rf);
            m_p.setPen(Qt::black);
            double x = 0;
            for (int c = 0; c < columns; ++c) {
                const double w = c == 0 ? first : other;
                const QRectF cell(x + fm.height() * 0.2, m_y, w - fm.height() * 0.4, rowH);
                m_p.drawText(cell, (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                             fm.elidedText(row.value(c), Qt::ElideRight, cell.width()));
                x += w;
            }
            m_y += rowH;
        };
        drawRow(t.header, true, true);
        for (const QStringList &row : t.rows)
            drawRow(row, false, false);
        m_p.setPen(QPen(QColor(160, 160, 160), 1));
        m_p.drawLine(QPointF(0, m_y), QPointF(m_width, m_y));
        m_y += fm.height() * 0.6;
    }

    void chart(const Chart &c, double height)
    {
        if (!fits(height))
            newPage();
        paintChart(m_p, QRectF(0, m_y, m_width, height * 0.96), c.title, c.unit, c.curves, c.fromMs, c.toMs, c.marks);
        m_y += height;
    }

    void legend(const QVector<QPair<QString, QColor>> &items, double pointSize)
    {
        for (const auto &item : items) {
            QFont f = m_p.font();
            f.setPointSizeF(pointSize);
            const QFontMetricsF fm(f, &m_w);
            m_p.fillRect(QRectF(0, m_y + fm.height() * 0.2, fm.height() * 1.6, fm.height() * 0.6), item.second);
            m_p.save();
            m_p.translate(fm.height() * 2.0, 0);
            text(item.first, pointSize);
            m_p.restore();
        }
    }

    double width() const { return m_width; }
    double height() const { return m_height; }
    double y() const { return m_y; }

private:
    QPainter &m_p;
    QPdfWriter &m_w;
    double m_width, m_height;
    double m_y = 0;
};

bool writePdf(const Document &doc, const QString &path, QString *error)
{
    QByteArray bytes;
    QBuffer file(&bytes);
    file.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(150);
        writer.setTitle(doc.title);
        writer.setCreator(QStringLiteral("Ombrel"));
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        PdfPainter pdf(painter, writer);
        pdf.text(doc.title, 18, true);
        for (const auto &line : doc.info)
            pdf.text(line.first + QStringLiteral(": ") + line.second, 10);
        if (!doc.notes.isEmpty())
            pdf.text(tr("备注") + QStringLiteral(": ") + doc.notes, 10);
        if (!doc.legendItems.isEmpty())
            pdf.legend(doc.legendItems, 10);
        if (doc.chartsFirst) {
            for (const Chart &c : doc.charts)
                pdf.chart(c, pdf.height() * 0.45);
        }
        for (const Table &t : doc.tables)
            pdf.table(t, doc.chartsFirst ? 8 : 10);
        if (!doc.marks.isEmpty()) {
            pdf.text(tr("标记"), 12, true);
            Table marks{{tr("时间"), tr("名称")}, {}};
            for (const auto &m : doc.marks)
                marks.rows << QStringList{m.first, m.second};
            pdf.table(marks, 10);
        }
        if (!doc.chartsFirst && !doc.charts.isEmpty()) {
            pdf.newPage();
            const double each = pdf.height() / doc.charts.size();
            for (const Chart &c : doc.charts)
                pdf.chart(c, each);
        }
        if (!painter.end()) {
            *error = tr("无法生成 PDF");
            return false;
        }
    }
    return OutputFile::writeDocument(path, bytes, error);
}

// ---- HTML -------------------------------------------------------------

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

QString tableHtml(const Table &t)
{
    QString h = QStringLiteral("<table>\n<tr>");
    for (const QString &c : t.header)
        h += QStringLiteral("<th>") + esc(c) + QStringLiteral("</th>");
    h += QStringLiteral("</tr>\n");
    for (const QStringList &row : t.rows) {
        h += QStringLiteral("<tr>");
        for (int i = 0; i < t.header.size(); ++i)
            h += (i == 0 ? QStringLiteral("<th>") : QStringLiteral("<td>")) + esc(row.value(i))
                 + (i == 0 ? QStringLiteral("</th>") : QStringLiteral("</td>"));
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</table>\n");
}

QString chartHtml(const Chart &c)
{
    QImage image(1200, 380, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        paintChart(p, QRectF(0, 0, image.width(), image.height()), c.title, c.unit, c.curves, c.fromMs, c.toMs,
                   c.marks);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("<p><img alt=\"%1\" src=\"data:image/png;base64,%2\"></p>\n")
        .arg(esc(c.title), QString::fromLatin1(png.toBase64()));
}

bool writeHtml(const Document &doc, const QString &path, QString *error)
{
    QString h = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + esc(doc.title)
                + QStringLiteral("</title>\n<style>body{font-family:sans-serif;max-width:1240px;margin:2em auto}"
                                 "table{border-collapse:collapse;margin:1em 0}th,td{border:1px solid #bbb;"
                                 "padding:2px 8px}td{text-align:right}img{max-width:100%}</style></head><body>\n");
    h += QStringLiteral("<h1>") + esc(doc.title) + QStringLiteral("</h1>\n<p>");
    for (const auto &line : doc.info)
        h += esc(line.first) + QStringLiteral(": ") + esc(line.second) + QStringLiteral("<br>\n");
    h += QStringLiteral("</p>\n");
    if (!doc.notes.isEmpty())
        h += QStringLiteral("<p>") + esc(tr("备注")) + QStringLiteral(": ") + esc(doc.notes) + QStringLiteral("</p>\n");
    for (const auto &item : doc.legendItems)
        h += QStringLiteral("<p><span style=\"color:%1\">&#9632;</span> %2</p>\n").arg(item.second.name(), esc(item.first));
    if (doc.chartsFirst) {
        for (const Chart &c : doc.charts)
            h += chartHtml(c);
    }
    for (const Table &t : doc.tables)
        h += tableHtml(t);
    if (!doc.marks.isEmpty()) {
        Table marks{{tr("时间"), tr("名称")}, {}};
        for (const auto &m : doc.marks)
            marks.rows << QStringList{m.first, m.second};
        h += QStringLiteral("<h2>") + esc(tr("标记")) + QStringLiteral("</h2>\n") + tableHtml(marks);
    }
    if (!doc.chartsFirst) {
        for (const Chart &c : doc.charts)
            h += chartHtml(c);
    }
    h += QStringLiteral("</body></html>\n");
    return OutputFile::writeDocument(path, h.toUtf8(), error);
}

bool write(const Document &doc, const QString &path, bool html, QString *error)
{
    return html ? writeHtml(doc, path, error) : writePdf(doc, path, error);
}

// Round steps for an axis: 1, 2 or 5 times a power of ten.
double niceStep(double span, int steps)
{
    if (!(span > 0))
        return 1.0;
    const double raw = span / steps;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10.0 * power;
}

QString elapsedText(qint64 ms)
{
    const QString sign = ms < 0 ? QStringLiteral("-") : QString();
    return sign + TimeText::duration(std::llabs(ms));
}

} // namespace

QCoreApplication *makeApplication(int &argc, char **argv)
{
    // Pages are painted, never shown: no display is needed or opened.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
}

Extras extrasOf(RunJournal &journal, qint64 id)
{
    Extras extras;
    for (const JournalRun &r : journal.runs()) {
        if (r.id != id)
            continue;
        const RunFields &f = r.fields;
        const QPair<QString, QString> fields[] = {
            {tr("被测设备"), f.dut}, {tr("充电器/电源"), f.source}, {tr("线缆"), f.cable},
            {tr("环境温度"), f.hasAmbient() ? QString::number(f.ambientC, 'g', 6) + QStringLiteral(" °C") : QString()}};
        for (const auto &field : fields) {
            if (!field.second.trimmed().isEmpty())
                extras.fields << field;
        }
        extras.notes = f.notes.trimmed();
    }
    for (const RunMark &m : journal.marks(id)) {
        extras.marks << Mark{m.atMs, m.name};
        extras.markWallMs << m.wallMs;
    }
    return extras;
}

QVector<QPointF> reducedCurve(const ReadingLog &log, int channel, int columns)
{
    const std::vector<qint64> &times = log.runTimes();
    if (times.empty())
        return {};
    const std::vector<float> &values = log.column(ReadingLog::columnOf(channel));
    MinMaxIndex index;
    index.sync(values);
    const qint64 t0 = times.front(), t1 = std::max(times.back(), t0 + 1);
    const SampleSpan span = visibleSpan(times, t0, t1);
    const CurveShape shape = shapeFor(span.inside, columns);
    QVector<QPointF> pts = curvePoints(times, values, index, span, shape, t0, t1, columns);
    for (QPointF &p : pts)
        p.setX(p.x() - double(t0));
    return pts;
}

void paintChart(QPainter &p, const QRectF &rect, const QString &title, const QString &unit,
                const QVector<Curve> &curves, qint64 fromMs, qint64 toMs, const QVector<Mark> &marks)
{
    p.save();
    QFont font = p.font();
    font.setBold(false);
    font.setPixelSize(std::max(9, int(rect.height() / 22)));
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    const double line = fm.height();
    const QRectF plot(rect.left() + fm.horizontalAdvance(QStringLiteral("00000.000")) + line * 0.5,
                      rect.top() + line * 1.6, 0, 0);
    QRectF area(plot.topLeft(), QPointF(rect.right() - line * 0.5, rect.bottom() - line * 1.6));

    // The values' range over all curves, with a margin; a flat curve gets one.
    double lo = 0, hi = 0;
    bool any = false;
    for (const Curve &c : curves) {
        for (const QPointF &pt : c.points) {
            if (!any) {
                lo = hi = pt.y();
                any = true;
            }
            lo = std::min(lo, pt.y());
            hi = std::max(hi, pt.y());
        }
    }
    if (lo > 0 && lo < hi * 0.5)
        lo = 0;
    if (hi - lo < 1e-9) {
        lo -= 0.5;
        hi += 0.5;
    }
    const double vStep = niceStep(hi - lo, 5);
    lo = std::floor(lo / vStep) * vStep;
    hi = std::ceil(hi / vStep) * vStep;
    if (toMs <= fromMs)
        toMs = fromMs + 1000;

    auto xOf = [&](double ms) { return area.left() + (ms - double(fromMs)) / double(toMs - fromMs) * area.width(); };
    auto yOf = [&](double v) { return area.bottom() - (v - lo) / (hi - lo) * area.height(); };

    p.setPen(Qt::black);
    p.drawText(QRectF(rect.left(), rect.top(), rect.width(), line * 1.4), Qt::AlignLeft | Qt::AlignVCenter,
               title + QStringLiteral(" (") + unit + QLatin1Char(')'));
    // Grid and labels.
    const QPen grid(QColor(220, 220, 220), 0);
    const int vDecimals = std::max(0, int(-std::floor(std::log10(vStep))));
    for (double v = lo; v <= hi + vStep * 0.5; v += vStep) {
        const double y = yOf(v);
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(rect.left(), y - line / 2, area.left() - rect.left() - line * 0.3, line),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', vDecimals));
    }
    const double tStep = niceStep(double(toMs - fromMs) / 1000.0, 6) * 1000.0;
    for (double t = std::ceil(fromMs / tStep) * tStep; t <= toMs; t += tStep) {
        const double x = xOf(t);
        p.setPen(grid);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - line * 4, area.bottom() + line * 0.2, line * 8, line), Qt::AlignHCenter | Qt::AlignTop,
                   elapsedText(qint64(t)));
    }
    p.setPen(QPen(QColor(120, 120, 120), 0));
    p.drawRect(area);

    p.setClipRect(area);
    for (const Curve &c : curves) {
        if (c.points.isEmpty())
            continue;
        QPainterPath path;
        path.moveTo(xOf(c.points[0].x()), yOf(c.points[0].y()));
        for (int i = 1; i < c.points.size(); ++i)
            path.lineTo(xOf(c.points[i].x()), yOf(c.points[i].y()));
        if (c.points.size() == 1)
            path.lineTo(xOf(c.points[0].x()) + 2, yOf(c.points[0].y()));
        p.setPen(QPen(c.colour, std::max(1.5, rect.height() / 150.0)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    for (const Mark &m : marks) {
        const double x = xOf(double(m.sinceStartMs));
        p.setPen(QPen(QColor(90, 90, 90), 0, Qt::DashLine));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QPointF(x + 3, area.top() + line), m.name);
    }
    p.restore();
}

bool writeRun(RunJournal &journal, qint64 id, const QString &path, bool html, QString *error)
{
    JournalRun run;
    bool found = false;
    for (const JournalRun &r : journal.runs()) {
        if (r.id == id) {
            run = r;
            found = true;
        }
    }
    ReadingLog log;
    if (!found || !journal.load(id, log)) {
        *error = tr("无法读取运行 %1：%2").arg(id).arg(journal.message());
        return false;
    }
    const IntervalStats s = log.size() ? journal.statsOfRecords(id, 0, log.size() - 1) : IntervalStats();
    const Extras extras = extrasOf(journal, id);

    Document doc;
    doc.title = run.name.trimmed().isEmpty() ? tr("运行 %1").arg(id) : run.name.trimmed();
    doc.info << qMakePair(tr("仪表"), QStringLiteral("%1 %2 %3").arg(run.model, run.version, run.serial).simplified())
             << qMakePair(tr("开始"), localText(run.startMs))
             << qMakePair(tr("结束"), run.finished() && run.endMs ? localText(run.endMs) : tr("记录中"))
             << qMakePair(tr("结束原因"), RunComparison::reasonWords(run.endReason, !run.finished()));
    for (const auto &field : extras.fields)
        doc.info << field;
    doc.notes = extras.notes;

    Table totals{{tr("汇总"), tr("数值")}, {}};
    totals.rows << QStringList{tr("时长"), QStringLiteral("%1 (%2 s)").arg(TimeText::runDuration(s.duration_s), num(s.duration_s, 3))}
                << QStringList{tr("记录数"), QString::number(s.records)}
                << QStringList{tr("电量(Ah)"), num(s.charge_ah)}
                << QStringList{tr("能量(Wh)"), num(s.energy_wh)}
                << QStringList{tr("仪表 CAP 变化(Ah)"), num(s.meter_cap_ah, 3)}
                << QStringList{tr("仪表 ELE 变化(Wh)"), num(s.meter_ele_wh, 3)};
    doc.tables << totals;
    Table channels{{tr("通道"), tr("最小"), tr("最大"), tr("平均")}, {}};
    const std::pair<const char *, const ChannelStats *> rows[] = {
        {"VBUS(V)", &s.vbus}, {"IBUS(A)", &s.ibus}, {"POWER(W)", &s.power}};
    for (const auto &r : rows)
        channels.rows << QStringList{QLatin1String(r.first), num(r.second->min), num(r.second->max), num(r.second->mean)};
    doc.tables << channels;

    const qint64 first = log.size() ? log.runMs(0) : 0;
    const qint64 length = log.size() ? log.runMs(log.size() - 1) - first : 0;
    // Marks at their time since the first record, and the wall clock then.
    const qint64 firstWall = log.size() ? log.timeMs(0) : run.startMs;
    for (const Mark &m : extras.marks)
        doc.marks << qMakePair(QStringLiteral("%1 (%2)").arg(elapsedText(m.sinceStartMs), localText(firstWall + m.sinceStartMs)),
                               m.name);
    const QVector<Mark> &marks = extras.marks;
    for (int c : {int(VBUS), int(IBUS), int(POWER)}) {
        Chart chart;
        chart.title = QLatin1String(kChannels[c].seriesName);
        chart.unit = channelUnit(c);
        chart.curves << Curve{reducedCurve(log, c, kReportColumns), defaultCurveColor(c), chart.title};
        chart.fromMs = 0;
        chart.toMs = std::max<qint64>(length, 1000);
        chart.marks = marks;
        doc.charts << chart;
    }
    return write(doc, path, html, error);
}

bool writeComparison(RunComparison &cmp, const QString &path, bool html, QString *error)
{
    Document doc;
    doc.title = tr("运行对比");
    doc.chartsFirst = true;
    for (int i = 0; i < cmp.count(); ++i)
        doc.legendItems << qMakePair(cmp.runName(i), RunComparison::colour(i));
    Chart chart;
    chart.title = QLatin1String(kChannels[cmp.channel()].seriesName);
    chart.unit = channelUnit(cmp.channel());
    chart.fromMs = cmp.beginMs();
    chart.toMs = std::max<qint64>(cmp.endMs(), chart.fromMs + 1000);
    for (int i = 0; i < cmp.count(); ++i) {
        chart.curves << Curve{cmp.points(i, chart.fromMs, chart.toMs, kReportColumns), RunComparison::colour(i),
                              cmp.runName(i)};
        for (const RunMark &m : cmp.run(i).marks) {
            chart.marks << Mark{cmp.markSinceStart(i, m), m.name};
            doc.marks << qMakePair(QStringLiteral("%1 (%2)").arg(elapsedText(cmp.markSinceStart(i, m)), cmp.runName(i)),
                                   m.name);
        }
    }
    doc.charts << chart;
    Table table;
    table.header << QString();
    for (int i = 0; i < cmp.count(); ++i)
        table.header << cmp.runName(i);
    for (int f = 0; f < RunComparison::FigureCount; ++f) {
        QStringList row{RunComparison::figureName(f)};
        QStringList diff{QStringLiteral("  Δ")};
        bool anyDiff = false;
        for (int i = 0; i < cmp.count(); ++i) {
            row << cmp.figureText(f, i);
            diff << cmp.differenceText(f, i);
            anyDiff = anyDiff || !diff.last().isEmpty();
        }
        table.rows << row;
        if (anyDiff)
            table.rows << diff;
    }
    doc.tables << table;
    return write(doc, path, html, error);
}

} // namespace RunReport
