#include "ui/markcontroller.h"

#include "charts/chartview.h"
#include "charts/marklines.h"
#include "charts/measurecursors.h"
#include "recording/jsonlines.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "recording/savedatadeal.h"
#include "ui/prompts.h"
#include "ui/statspanel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>

#include <algorithm>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

MarkController::MarkController(ChartView *view, MeasureCursors *cursors, StatsPanel *panel, RunJournal *journal,
                               QWidget *window, Sources sources)
    : QObject(window), m_view(view), m_cursors(cursors), m_panel(panel), m_journal(journal), m_window(window),
      m_sources(std::move(sources))
{
    m_lines = new MarkLines(this);
    m_lines->setChart(view->chart());
    m_button = new QPushButton;
    m_button->setObjectName(QStringLiteral("disp_btn_Mark"));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCheckable(true);
    connect(m_button, &QPushButton::clicked, this, [this] {
        m_button->setChecked(m_armed);   // the state is the controller's
        markPressed();
    });
    m_shortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_M), window);
    m_shortcut->setContext(Qt::WindowShortcut);
    connect(m_shortcut, &QShortcut::activated, this, &MarkController::markPressed);

    m_export = new QPushButton;
    m_export->setObjectName(QStringLiteral("stats_exportInterval"));
    m_export->setFocusPolicy(Qt::NoFocus);
    if (panel)
        placeExport(panel);
    connect(m_export, &QPushButton::clicked, this, &MarkController::exportInterval);

    m_export->setEnabled(false);
    connect(cursors, &MeasureCursors::changed, this, [this] { m_export->setEnabled(m_cursors->isSet()); });
    view->viewport()->installEventFilter(this);
    window->installEventFilter(this);
    // The marks of the run on show, also those other programs make.
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &MarkController::refresh);
    m_timer->start();
    retranslate();
}

MarkController::~MarkController()
{
    if (m_export && !m_export->parent())
        delete m_export;
}

void MarkController::placeExport(StatsPanel *panel)
{
    m_panel = panel;
    m_export->setStyleSheet(panel->copyButton()->styleSheet());
    if (auto *grid = qobject_cast<QGridLayout *>(panel->layout()))
        grid->addWidget(m_export, 10, 3, 1, 2, Qt::AlignRight);
    else
        m_export->setParent(panel);
}

void MarkController::retranslate()
{
    m_button->setText(tr("标记"));
    m_button->setToolTip(tr("标记运行的此刻并命名（Ctrl+M）；查看已保存的运行时，点击曲线上要标记的时刻"));
    m_export->setText(tr("导出区间"));
    m_export->setToolTip(tr("把两条光标之间的记录导出为 CSV 或 JSON lines 文件"));
}

void MarkController::setChart(QChart *chart, qint64 storedId)
{
    m_storedId = storedId;
    setArmed(false);
    m_lines->setChart(chart);
    refresh();
}

qint64 MarkController::shownRun() const
{
    if (!m_journal || !m_journal->isOpen())
        return 0;
    if (m_storedId)
        return m_storedId;
    return m_sources.liveChartRunId();
}

void MarkController::refresh()
{
    const qint64 run = shownRun();
    const ReadingLog &log = m_sources.shownLog();
    std::vector<MarkLines::Mark> marks;
    if (run > 0 && log.size() > 0) {
        for (const RunMark &m : m_journal->marks(run))
            marks.push_back({log.runMs(0) + m.atMs, m.name});
    }
    m_lines->setMarks(marks);
}

void MarkController::setArmed(bool on)
{
    m_armed = on;
    m_pressed = false;
    m_button->setChecked(on);
    if (m_view->viewport())
        m_view->viewport()->setCursor(on ? Qt::CrossCursor : Qt::ArrowCursor);
}

void MarkController::markPressed()
{
    if (m_storedId) {
        // A stored run: the click on the chart says when.
        setArmed(!m_armed);
        return;
    }
    // The moment of the press, before the name is asked.
    const qint64 now = m_sources.now();
    const ReadingLog &log = m_sources.shownLog();
    // Only the run under way: an ended run is marked from the history.
    const qint64 run = m_sources.liveRunId() ? shownRun() : 0;
    if (run <= 0 || log.size() == 0) {
        Prompts::warning(m_window, tr("标记"), tr("没有正在记录的运行可以标记。"));
        return;
    }
    addMark(run, now - log.runMs(0));
}

bool MarkController::addMark(qint64 runId, qint64 atMs)
{
    const qint64 wallMs = m_sources.wallNow ? m_sources.wallNow() : QDateTime::currentMSecsSinceEpoch();
    QString name = tr("标记 %1").arg(m_journal->marks(runId).size() + 1);
    if (!Prompts::getText(m_window, tr("标记"), tr("标记名称："), name))
        return false;
    if (m_journal->addMark(runId, atMs, wallMs, name.trimmed()) <= 0) {
        Prompts::warning(m_window, tr("错误"), tr("无法保存标记：") + m_journal->message());
        return false;
    }
    refresh();
    return true;
}

bool MarkController::timeAt(const QPoint &viewportPos, qint64 *t) const
{
    QChart *chart = m_view->chart();
    auto *axis = chart ? qobject_cast<QDateTimeAxis *>(chart->axes(Qt::Horizontal).value(0)) : nullptr;
    if (!axis)
        return false;
    const QPointF at = chart->mapFromScene(m_view->mapToScene(viewportPos));
    const QRectF plot = chart->plotArea();
    if (!plot.contains(at) || plot.width() <= 0)
        return false;
    const double t0 = double(axis->min().toMSecsSinceEpoch());
    const double t1 = double(axis->max().toMSecsSinceEpoch());
    *t = qint64(std::llround(t0 + (at.x() - plot.left()) / plot.width() * (t1 - t0)));
    return true;
}

bool MarkController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::LanguageChange)
        retranslate();
    if (!m_armed || watched != m_view->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_pressed = true;
        m_pressAt = mouse->pos();
        return true;
    }
    case QEvent::MouseMove:
        return m_pressed;
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !m_pressed)
            return false;
        m_pressed = false;
        qint64 t = 0;
        const ReadingLog &log = m_sources.shownLog();
        if ((mouse->pos() - m_pressAt).manhattanLength() > 6 || !timeAt(mouse->pos(), &t) || log.size() == 0)
            return true;   // not a click on the plot: still waiting
        const qint64 run = shownRun();
        setArmed(false);
        if (run > 0)
            addMark(run, t - log.runMs(0));
        return true;
    }
    default:
        return false;
    }
}

void MarkController::exportInterval()
{
    if (!m_cursors->isSet())
        return;
    const qint64 from = std::min(m_cursors->a(), m_cursors->b());
    const qint64 to = std::max(m_cursors->a(), m_cursors->b());
    const ReadingLog &log = m_sources.shownLog();
    // The records between the cursors, both included.
    const std::vector<qint64> &times = log.runTimes();
    const int first = int(std::lower_bound(times.begin(), times.end(), from) - times.begin());
    const int end = int(std::upper_bound(times.begin(), times.end(), to) - times.begin());
    ReadingLog part;
    part.reserve(std::max(0, end - first));
    ReadingLog::Values values;
    for (int i = first; i < end; ++i) {
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            values[size_t(c)] = log.value(ReadingLog::Column(c), i);
        part.append(log.timeMs(i), log.runMs(i), values);
    }
    QString model;
    const qint64 run = shownRun();
    for (const JournalRun &r : m_journal ? m_journal->runs() : std::vector<JournalRun>()) {
        if (r.id == run)
            model = r.model;
    }
    const QString csvFilter = tr("CSV 文件 (*.csv)");
    const QString jsonFilter = tr("JSON lines 文件 (*.jsonl)");
    // An existing file is appended to, as the whole run's export does.
    QString name = Prompts::getSaveFileName(m_window, tr("导出区间"), QDir::currentPath(),
                                            csvFilter + QStringLiteral(";;") + jsonFilter, false);
    if (name.isEmpty())
        return;
    const bool json = QFileInfo(name).suffix().compare(QLatin1String("jsonl"), Qt::CaseInsensitive) == 0
                      || QFileInfo(name).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0;
    QString reason;
    bool written;
    if (json) {
        written = JsonLines::writeFile(part, name, &reason);
    } else {
        saveDataDeal deal(part, model);
        written = deal.writeCsv(name, &reason);
    }
    if (!written)
        Prompts::warning(m_window, tr("错误"),
                         tr("无法写入文件：") + QDir::toNativeSeparators(name) + QLatin1Char('\n') + reason);
}
