#include "report/runreport.h"

#include "base/timetext.h"
#include "charts/curvereduction.h"
#include "charts/curvestyle.h"
#include "device/channels.h"
#include "meterbench/benchjournal.h"
#include "recording/newfile.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "recording/stopconditions.h"
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
#include <tuple>

namespace RunReport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RunReport", text);
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
    QString title, unit, timeTitle;
    QVector<Curve> curves;
    qint64 fromMs = 0, toMs = 0;
    QVector<Mark> marks;
};

// What a report holds, whether painted as PDF or written as HTML.
struct Document {
    // The line at the head of every page: the program, what is reported,
    // when the report was made.
    QString head;
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

// The head line of a run's or a bench's report from its pattern: %1 the
// program, %2 its version, %3 the id, %4 when the report was made.
QString headLine(const QString &pattern, qint64 id)
{
    return pattern.arg(QStringLiteral("Ombrel"), QStringLiteral(OMBREL_VERSION))
        .arg(id)
        .arg(TimeText::localDateTime(QDateTime::currentMSecsSinceEpoch()));
}

constexpr int kReportColumns = 900;   // columns a chart of the report is reduced to

// ---- PDF --------------------------------------------------------------

class PdfPainter
{
public:
    // `pages`: how many the document has (0 while they are being counted).
    PdfPainter(QPainter &p, QPdfWriter &w, const QString &head, int pages)
        : m_p(p), m_w(w), m_width(w.width()), m_height(w.height()), m_head(head), m_pages(pages)
    {
        pageHead();
    }

    void newPage()
    {
        m_w.newPage();
        ++m_page;
        pageHead();
    }
    int pages() const { return m_page; }
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
        paintChart(m_p, QRectF(0, m_y, m_width, height * 0.96), c.title, c.unit, c.curves, c.fromMs, c.toMs, c.marks,
                   c.timeTitle);
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
    // The head line of a page: what the report is, left; "page X of Y", right.
    void pageHead()
    {
        m_y = 0;
        QFont f = m_p.font();
        f.setPointSizeF(8);
        f.setBold(false);
        m_p.setFont(f);
        m_p.setPen(QColor(90, 90, 90));
        const QFontMetricsF fm(f, &m_w);
        const QRectF line(0, 0, m_width, fm.height());
        const QString page = QCoreApplication::translate("RunReport", "第 %1 页，共 %2 页")
                                 .arg(m_page)
                                 .arg(m_pages > 0 ? m_pages : m_page);
        m_p.drawText(line, Qt::AlignRight | Qt::AlignVCenter, page);
        m_p.drawText(line.adjusted(0, 0, -fm.horizontalAdvance(page) - fm.height(), 0), Qt::AlignLeft | Qt::AlignVCenter,
                     fm.elidedText(m_head, Qt::ElideRight, m_width - fm.horizontalAdvance(page) - fm.height()));
        m_p.setPen(QPen(QColor(160, 160, 160), 1));
        m_p.drawLine(QPointF(0, fm.height() * 1.2), QPointF(m_width, fm.height() * 1.2));
        m_y = fm.height() * 1.8;
    }

    QPainter &m_p;
    QPdfWriter &m_w;
    double m_width, m_height;
    double m_y = 0;
    QString m_head;
    int m_pages = 0;
    int m_page = 1;
};

// The document on PDF pages; how many it took (0: it could not be painted).
int paintPdf(const Document &doc, QIODevice &file, int pages)
{
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(150);
        writer.setTitle(doc.title);
        writer.setCreator(QStringLiteral("Ombrel"));
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        PdfPainter pdf(painter, writer, doc.head, pages);
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
            const double each = (pdf.height() - pdf.y()) / doc.charts.size();
            for (const Chart &c : doc.charts)
                pdf.chart(c, each);
        }
        const int painted = pdf.pages();
        return painter.end() ? painted : 0;
    }
}

bool writePdf(const Document &doc, const QString &path, QString *error)
{
    // Painted once to count the pages, then with "page X of Y" on each.
    QByteArray counting;
    QBuffer scratch(&counting);
    scratch.open(QIODevice::WriteOnly);
    const int pages = paintPdf(doc, scratch, 0);
    QByteArray bytes;
    QBuffer file(&bytes);
    file.open(QIODevice::WriteOnly);
    if (pages == 0 || paintPdf(doc, file, pages) != pages) {
        *error = tr("无法生成 PDF");
        return false;
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
                   c.marks, c.timeTitle);
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
    h += QStringLiteral("<p style=\"color:#5a5a5a;font-size:small\">") + esc(doc.head) + QStringLiteral("</p>\n");
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

std::vector<QVector<QPointF>> reducedCurve(const ReadingLog &log, int channel, int columns)
{
    const std::vector<qint64> &times = log.runTimes();
    if (times.empty())
        return {};
    return reducedCurve(times, log.column(ReadingLog::columnOf(channel)), times.front(), columns);
}

std::vector<QVector<QPointF>> reducedCurve(const std::vector<qint64> &times, const std::vector<float> &values,
                                           qint64 t0, int columns)
{
    if (times.empty())
        return {};
    MinMaxIndex index;
    index.sync(values);
    GapIndex gaps;
    gaps.sync(times);
    const qint64 t1 = std::max(times.back(), t0 + 1);
    const SampleSpan span = visibleSpan(times, t0, t1);
    const CurveShape shape = shapeFor(span.inside, columns);
    std::vector<QVector<QPointF>> pieces;
    for (const GapIndex::Stretch &stretch :
         gaps.visible(times, span.begin, span.end, t0, t1, columns, kMostCurvePieces)) {
        QVector<QPointF> pts = stretchCurve(times, values, index, stretch, shape, t0, t1, columns);
        for (QPointF &p : pts)
            p.setX(p.x() - double(t0));
        pieces.push_back(std::move(pts));
    }
    return pieces;
}

void paintChart(QPainter &p, const QRectF &rect, const QString &title, const QString &unit,
                const QVector<Curve> &curves, qint64 fromMs, qint64 toMs, const QVector<Mark> &marks,
                const QString &timeTitle)
{
    p.save();
    QFont font = p.font();
    font.setBold(false);
    font.setPixelSize(std::max(9, int(rect.height() / 22)));
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    const double line = fm.height();
    // Room on the left for the values' title (turned) and labels, below for
    // the times' labels and title.
    const QRectF plot(rect.left() + line * 1.4 + fm.horizontalAdvance(QStringLiteral("00000.000")) + line * 0.5,
                      rect.top() + line * 1.6, 0, 0);
    QRectF area(plot.topLeft(), QPointF(rect.right() - line * 0.5, rect.bottom() - line * 2.8));

    // The values' range over all curves, with a margin; a flat curve gets one.
    double lo = 0, hi = 0;
    bool any = false;
    for (const Curve &c : curves) {
        for (const QVector<QPointF> &piece : c.pieces) {
            for (const QPointF &pt : piece) {
                if (!any) {
                    lo = hi = pt.y();
                    any = true;
                }
                lo = std::min(lo, pt.y());
                hi = std::max(hi, pt.y());
            }
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
    const QString valueTitle = title + QStringLiteral(" (") + unit + QLatin1Char(')');
    p.drawText(QRectF(rect.left(), rect.top(), rect.width(), line * 1.4), Qt::AlignLeft | Qt::AlignVCenter, valueTitle);
    p.drawText(QRectF(area.left(), area.bottom() + line * 1.4, area.width(), line * 1.3), Qt::AlignHCenter | Qt::AlignVCenter,
               timeTitle);
    p.save();
    p.translate(rect.left(), area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, 0, area.height(), line * 1.2), Qt::AlignHCenter | Qt::AlignVCenter, valueTitle);
    p.restore();
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
                   TimeText::signedDuration(qint64(t)));
    }
    p.setPen(QPen(QColor(120, 120, 120), 0));
    p.drawRect(area);

    p.setClipRect(area);
    for (const Curve &c : curves) {
        QPainterPath path;
        for (const QVector<QPointF> &piece : c.pieces) {
            if (piece.isEmpty())
                continue;
            path.moveTo(xOf(piece[0].x()), yOf(piece[0].y()));
            for (int i = 1; i < piece.size(); ++i)
                path.lineTo(xOf(piece[i].x()), yOf(piece[i].y()));
            if (piece.size() == 1)
                path.lineTo(xOf(piece[0].x()) + 2, yOf(piece[0].y()));
        }
        if (path.isEmpty())
            continue;
        p.setPen(QPen(c.colour, std::max(1.5, rect.height() / 150.0)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    // Each mark's label in the first row from the top where it covers no
    // other label, beside its line (left of it near the right edge).
    std::vector<std::vector<std::pair<double, double>>> rows;
    for (const Mark &m : marks) {
        const double x = xOf(double(m.sinceStartMs));
        p.setPen(QPen(QColor(90, 90, 90), 0, Qt::DashLine));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const double w = fm.horizontalAdvance(m.name) + 3;
        const double left = x + 3 + w > area.right() ? x - 3 - w : x + 3;
        size_t row = 0;
        for (; row < rows.size(); ++row) {
            bool free = true;
            for (const auto &used : rows[row])
                free = free && (left + w + 2 < used.first || left > used.second + 2);
            if (free)
                break;
        }
        if (row == rows.size())
            rows.emplace_back();
        rows[row].emplace_back(left, left + w);
        p.setPen(Qt::black);
        p.drawText(QPointF(left, area.top() + line * double(row + 1)), m.name);
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
    doc.head = headLine(tr("%1 %2 · 运行 %3 · 报告生成于 %4"), id);
    doc.title = run.name.trimmed().isEmpty() ? tr("运行 %1").arg(id) : run.name.trimmed();
    doc.info << qMakePair(tr("仪表"), QStringLiteral("%1 %2 %3").arg(run.model, run.version, run.serial).simplified())
             << qMakePair(tr("开始"), TimeText::localDateTime(run.startMs))
             << qMakePair(tr("结束"), run.finished() && run.endMs ? TimeText::localDateTime(run.endMs) : tr("记录中"))
             << qMakePair(tr("结束原因"), StopConditions::reasonWords(run.endReason, !run.finished()));
    // The test's conditions: the stop condition that ended it, and how often
    // the meter was recorded.
    StopConditions::Kind endKind;
    StopConditions::Condition endCondition;
    doc.info << qMakePair(tr("停止条件"), StopConditions::fromReason(run.endReason, &endKind, &endCondition)
                                               ? StopConditions::reasonWords(run.endReason, false)
                                               : tr("无（未由条件结束）"));
    if (s.records > 1 && s.duration_s > 0)
        doc.info << qMakePair(tr("记录频率"), tr("%1 条/秒").arg(QString::number((s.records - 1) / s.duration_s, 'g', 3)));
    for (const auto &field : extras.fields)
        doc.info << field;
    doc.notes = extras.notes;

    Table totals{{tr("汇总"), tr("数值")}, {}};
    totals.rows << QStringList{tr("时长"), QStringLiteral("%1 (%2 s)").arg(TimeText::runDuration(s.duration_s), num(s.duration_s, 3))}
                << QStringList{tr("记录数"), QString::number(s.records)}
                << QStringList{tr("电量(Ah)"), num(s.charge_ah) + QStringLiteral(" Ah")}
                << QStringList{tr("能量(Wh)"), num(s.energy_wh) + QStringLiteral(" Wh")}
                << QStringList{tr("仪表 CAP 变化(Ah)"), num(s.meter_cap_ah, 3) + QStringLiteral(" Ah")}
                << QStringList{tr("仪表 ELE 变化(Wh)"), num(s.meter_ele_wh, 3) + QStringLiteral(" Wh")};
    doc.tables << totals;
    Table channels{{tr("通道"), tr("最小"), tr("最大"), tr("平均")}, {}};
    const std::tuple<const char *, const ChannelStats *, const char *> rows[] = {
        {"VBUS(V)", &s.vbus, " V"}, {"IBUS(A)", &s.ibus, " A"}, {"POWER(W)", &s.power, " W"}};
    for (const auto &r : rows) {
        const QString unit = QLatin1String(std::get<2>(r));
        const ChannelStats &c = *std::get<1>(r);
        channels.rows << QStringList{QLatin1String(std::get<0>(r)), num(c.min) + unit, num(c.max) + unit, num(c.mean) + unit};
    }
    doc.tables << channels;

    const qint64 first = log.size() ? log.runMs(0) : 0;
    const qint64 length = log.size() ? log.runMs(log.size() - 1) - first : 0;
    // Marks at their time since the first record, and the wall clock then.
    const qint64 firstWall = log.size() ? log.timeMs(0) : run.startMs;
    for (const Mark &m : extras.marks)
        doc.marks << qMakePair(QStringLiteral("%1 (%2)").arg(TimeText::signedDuration(m.sinceStartMs), TimeText::localDateTime(firstWall + m.sinceStartMs)),
                               m.name);
    const QVector<Mark> &marks = extras.marks;
    for (int c : {int(VBUS), int(IBUS), int(POWER)}) {
        Chart chart;
        chart.title = QLatin1String(kChannels[c].seriesName);
        chart.unit = channelUnit(c);
        chart.timeTitle = tr("自首条记录起的时间 (时:分:秒)");
        chart.curves << Curve{reducedCurve(log, c, kReportColumns), defaultCurveColor(c), chart.title};
        chart.fromMs = 0;
        chart.toMs = std::max<qint64>(length, 1000);
        chart.marks = marks;
        doc.charts << chart;
    }
    return write(doc, path, html, error);
}

bool writeBench(RunJournal &journal, qint64 benchId, const QString &path, bool html, QString *error)
{
    const JournalBench bench = journal.bench(benchId);
    if (!bench.id) {
        *error = tr("无法读取工作台 %1：%2").arg(benchId).arg(journal.message());
        return false;
    }
    const Bench::Summary summary = Bench::summaryOf(journal, bench);
    Document doc;
    doc.head = headLine(tr("%1 %2 · 工作台 %3 · 报告生成于 %4"), benchId);
    doc.title = bench.name.trimmed().isEmpty() ? tr("工作台 %1").arg(benchId) : bench.name.trimmed();
    doc.info << qMakePair(tr("开始"), TimeText::localDateTime(bench.startMs));

    // Each meter's own figures, then what goes in and what comes out.
    Table meters{{tr("角色"), tr("仪表"), tr("时长"), tr("记录数"), tr("能量(Wh)"), tr("电量(Ah)"), tr("平均 POWER")}, {}};
    std::vector<std::vector<Bench::Point>> points;
    QVector<Mark> marks;
    qint64 t0 = std::numeric_limits<qint64>::max(), t1 = std::numeric_limits<qint64>::min();
    for (const Bench::MemberFigures &m : summary.members) {
        const IntervalStats &s = m.stats;
        doc.info << qMakePair(m.member.role, tr("%1 · 运行 %2").arg(m.member.serial).arg(m.member.run));
        meters.rows << QStringList{m.member.role, m.member.serial, num(s.duration_s, 3) + QStringLiteral(" s"),
                                   QString::number(s.records), num(s.energy_wh) + QStringLiteral(" Wh"),
                                   num(s.charge_ah) + QStringLiteral(" Ah"), num(s.power.mean) + QStringLiteral(" W")};
        ReadingLog log;
        journal.load(m.member.run, log);
        points.push_back(Bench::pointsOf(log));
        // Its marks, from its first record for now.
        for (const Mark &mark : extrasOf(journal, m.member.run).marks)
            if (!points.back().empty())
                marks << Mark{points.back().front().t + mark.sinceStartMs, m.member.role + QStringLiteral(": ") + mark.name};
        if (!points.back().empty()) {
            t0 = std::min(t0, points.back().front().t);
            t1 = std::max(t1, points.back().back().t);
        }
    }
    doc.tables << meters;
    if (t0 > t1)
        t0 = t1 = 0;
    std::sort(marks.begin(), marks.end(), [](const Mark &a, const Mark &b) { return a.sinceStartMs < b.sinceStartMs; });
    for (Mark &m : marks) {
        m.sinceStartMs -= t0;
        doc.marks << qMakePair(TimeText::signedDuration(m.sinceStartMs), m.name);
    }
    const QString timeTitle = tr("自首条记录起的时间 (时:分:秒)");
    const qint64 toMs = std::max<qint64>(t1 - t0, 1000);
    if (summary.inOut) {
        Table figures{{tr("输入与输出"), tr("数值")}, {}};
        for (int row = 0; row < Bench::FigureRowCount; ++row)
            figures.rows << QStringList{Bench::figureName(row), Bench::figureText(summary.figures, row)};
        doc.tables << figures;
        // Efficiency and loss over time, a pair at its out record's time.
        std::vector<qint64> times;
        std::vector<float> efficiency, loss;
        for (const Bench::Derived &d : Bench::derivedOf(journal, bench)) {
            if (d.gap())
                continue;
            times.push_back(d.t);
            efficiency.push_back(float(d.efficiencyPct));
            loss.push_back(float(d.lossW));
        }
        const std::tuple<QString, QString, const std::vector<float> *, int> derived[] = {
            {RunComparison::channelName(kChannelCount + RunComparison::Efficiency), QStringLiteral("%"), &efficiency, int(POWER)},
            {RunComparison::channelName(kChannelCount + RunComparison::Loss), QStringLiteral("W"), &loss, int(IBUS)}};
        for (const auto &d : derived) {
            Chart chart{std::get<0>(d), std::get<1>(d), timeTitle, {}, 0, toMs, {}};
            chart.curves << Curve{reducedCurve(times, *std::get<2>(d), t0, kReportColumns),
                                  defaultCurveColor(std::get<3>(d)), chart.title};
            doc.charts << chart;
        }
    }
    // Every meter's POWER on one chart, in the colours of a comparison.
    Chart power{QLatin1String(kChannels[POWER].seriesName), channelUnit(POWER), timeTitle, {}, 0, toMs, marks};
    for (size_t i = 0; i < points.size(); ++i) {
        std::vector<qint64> times;
        std::vector<float> values;
        times.reserve(points[i].size());
        values.reserve(points[i].size());
        for (const Bench::Point &p : points[i]) {
            times.push_back(p.t);
            values.push_back(p.power);
        }
        const QString role = summary.members[i].member.role;
        power.curves << Curve{reducedCurve(times, values, t0, kReportColumns), RunComparison::colour(int(i)), role};
        doc.legendItems << qMakePair(role, RunComparison::colour(int(i)));
    }
    doc.charts << power;
    return write(doc, path, html, error);
}

QString fileName(const QString &runName, const QString &suffix)
{
    QString name = runName.simplified();
    for (QChar &c : name)
        if (c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return (name.isEmpty() ? QStringLiteral("report") : name.left(120)) + suffix;
}

bool writeComparison(RunComparison &cmp, const QString &path, bool html, QString *error, const Interval &cursors)
{
    Document doc;
    QStringList ids;
    for (int i = 0; i < cmp.count(); ++i)
        ids << QStringLiteral("#%1").arg(cmp.run(i).info.id);
    doc.head = tr("%1 %2 · 运行对比 %3 · 报告生成于 %4")
                   .arg(QStringLiteral("Ombrel"), QStringLiteral(OMBREL_VERSION), ids.join(QStringLiteral(", ")),
                        TimeText::localDateTime(QDateTime::currentMSecsSinceEpoch()));
    doc.title = tr("运行对比");
    doc.chartsFirst = true;
    // What 0 on the time axis is: each run's first record, or its first mark
    // of a name (a run without one keeps its first record).
    QString zeroMark;
    for (int i = 0; i < cmp.count() && zeroMark.isEmpty(); ++i) {
        const RunComparison::Run &r = cmp.run(i);
        if (r.times.empty() || r.zeroRunMs == r.times.front())
            continue;
        for (const RunMark &m : r.marks)
            if (cmp.markSinceStart(i, m) == 0)
                zeroMark = m.name;
    }
    doc.info << qMakePair(tr("时间零点"), zeroMark.isEmpty()
                                              ? tr("各运行的首条记录")
                                              : tr("各运行的首个“%1”标记（没有该标记的运行为其首条记录）").arg(zeroMark));
    // What each run is about.
    for (int i = 0; i < cmp.count(); ++i) {
        const RunFields &f = cmp.run(i).info.fields;
        QStringList about;
        const QPair<QString, QString> fields[] = {
            {tr("被测设备"), f.dut}, {tr("充电器/电源"), f.source}, {tr("线缆"), f.cable},
            {tr("环境温度"), f.hasAmbient() ? QString::number(f.ambientC, 'g', 6) + QStringLiteral(" °C") : QString()},
            {tr("备注"), f.notes.simplified()}};
        for (const auto &field : fields)
            if (!field.second.trimmed().isEmpty())
                about << field.first + QStringLiteral(": ") + field.second.trimmed();
        if (!about.isEmpty())
            doc.info << qMakePair(cmp.runName(i), about.join(QStringLiteral("; ")));
    }
    for (int i = 0; i < cmp.count(); ++i)
        doc.legendItems << qMakePair(cmp.runName(i), RunComparison::colour(i));
    Chart chart;
    chart.title = QLatin1String(kChannels[cmp.channel()].seriesName);
    chart.unit = channelUnit(cmp.channel());
    chart.timeTitle = tr("自零点起的时间 (时:分:秒)");
    chart.fromMs = cmp.beginMs();
    chart.toMs = std::max<qint64>(cmp.endMs(), chart.fromMs + 1000);
    for (int i = 0; i < cmp.count(); ++i) {
        chart.curves << Curve{cmp.pieces(i, chart.fromMs, chart.toMs, kReportColumns), RunComparison::colour(i),
                              cmp.runName(i)};
        for (const RunMark &m : cmp.run(i).marks) {
            chart.marks << Mark{cmp.markSinceStart(i, m), m.name};
            doc.marks << qMakePair(QStringLiteral("%1 (%2)").arg(TimeText::signedDuration(cmp.markSinceStart(i, m)), cmp.runName(i)),
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
    if (cursors.set) {
        // The cursors' interval, the same times since zero in every run.
        const qint64 a = std::min(cursors.fromMs, cursors.toMs), b = std::max(cursors.fromMs, cursors.toMs);
        Table interval;
        interval.header << tr("A–B %1 – %2").arg(TimeText::signedDuration(a), TimeText::signedDuration(b));
        for (int i = 0; i < cmp.count(); ++i)
            interval.header << cmp.runName(i);
        const QString rowNames[] = {tr("时长"), tr("记录数"), tr("电量(Ah)"), tr("能量(Wh)"), tr("平均 VBUS"),
                                    tr("平均 IBUS"), tr("平均 POWER")};
        for (int row = 0; row < 7; ++row) {
            QStringList cells{rowNames[row]};
            for (int i = 0; i < cmp.count(); ++i) {
                const IntervalStats s = cmp.interval(i, a, b);
                if (s.records == 0) {
                    cells << QStringLiteral("-");
                    continue;
                }
                const QString texts[] = {num(s.duration_s, 3) + QStringLiteral(" s"), QString::number(s.records),
                                         num(s.charge_ah) + QStringLiteral(" Ah"), num(s.energy_wh) + QStringLiteral(" Wh"),
                                         num(s.vbus.mean) + QStringLiteral(" V"), num(s.ibus.mean) + QStringLiteral(" A"),
                                         num(s.power.mean) + QStringLiteral(" W")};
                cells << texts[row];
            }
            interval.rows << cells;
        }
        doc.tables << interval;
    }
    return write(doc, path, html, error);
}

} // namespace RunReport
