#include "ui/runhistory.h"

#include "base/timetext.h"
#include "recording/stopconditions.h"
#include "recording/runjournal.h"
#include "ui/prompts.h"

#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <map>
#include <set>

namespace {

QString durationText(qint64 seconds)
{
    return TimeText::duration(seconds * 1000);
}

QTableWidgetItem *cell(const QString &text, bool number = false)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// What a row's first cell holds besides the run's id and start.
constexpr int kBenchRole = Qt::UserRole + 2;     // a bench's id
constexpr int kMembersRole = Qt::UserRole + 3;   // its meters' runs

} // namespace

RunHistoryWindow::RunHistoryWindow(RunJournal *journal, QWidget *owner)
    : QWidget(owner, Qt::Window), m_journal(journal)
{
    // A window of the main one: it never keeps the program running alone.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several runs are selected to compare them (Ctrl or Shift with a click).
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_shownLabel = new QLabel(this);
    m_open = new QPushButton(this);
    m_csv = new QPushButton(this);
    m_png = new QPushButton(this);
    m_rename = new QPushButton(this);
    m_delete = new QPushButton(this);
    m_live = new QPushButton(this);
    m_compare = new QPushButton(this);
    m_report = new QPushButton(this);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_open, m_csv, m_png, m_rename, m_delete, m_compare, m_report})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_live);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);   // the list takes what room there is
    layout->addWidget(m_shownLabel);
    layout->addLayout(buttons);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &RunHistoryWindow::updateButtons);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        if (const qint64 bench = benchAt(row))
            emit benchOpenRequested(bench);
        else
            emit openRequested(runAt(row));
    });
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (const qint64 bench = selectedBench())
            emit benchOpenRequested(bench);
        else
            emit openRequested(selectedRun());
    });
    connect(m_csv, &QPushButton::clicked, this, [this] { emit csvRequested(selectedRun()); });
    connect(m_png, &QPushButton::clicked, this, [this] { emit pngRequested(selectedRun()); });
    connect(m_rename, &QPushButton::clicked, this, &RunHistoryWindow::renameSelected);
    connect(m_delete, &QPushButton::clicked, this, &RunHistoryWindow::deleteSelected);
    connect(m_live, &QPushButton::clicked, this, &RunHistoryWindow::liveRequested);
    connect(m_compare, &QPushButton::clicked, this, [this] { emit compareRequested(selectedRuns()); });
    connect(m_report, &QPushButton::clicked, this, [this] {
        if (const qint64 bench = selectedBench())
            emit benchReportRequested(bench);
        else
            emit reportRequested(selectedRun());
    });
    retranslate();
}

QSize RunHistoryWindow::preferredSize()
{
    QHeaderView *columns = m_table->horizontalHeader();
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < ColumnCount; ++c)
        width += std::max(static_cast<const QAbstractItemView *>(m_table)->sizeHintForColumn(c), columns->sectionSizeHint(c));
    const int rows = m_table->rowCount() > 0 ? m_table->rowHeight(0) : m_table->verticalHeader()->defaultSectionSize();
    const int height = 2 * m_table->frameWidth() + columns->sizeHint().height() + kRowsShown * rows;
    // The list at that size in place of the one it asks for in the layout.
    const QSize all = layout()->sizeHint();
    const QMargins margins = layout()->contentsMargins();
    return QSize(std::max(all.width(), width + margins.left() + margins.right()),
                 all.height() - m_table->sizeHint().height() + height);
}

qint64 RunHistoryWindow::runAt(int row) const
{
    const QTableWidgetItem *item = m_table->item(row, Start);
    return item ? item->data(Qt::UserRole).toLongLong() : 0;
}

qint64 RunHistoryWindow::benchAt(int row) const
{
    const QTableWidgetItem *item = m_table->item(row, Start);
    return item ? item->data(kBenchRole).toLongLong() : 0;
}

qint64 RunHistoryWindow::selectedRun() const
{
    const QList<QTableWidgetItem *> items = m_table->selectedItems();
    return items.isEmpty() ? 0 : runAt(items.first()->row());
}

qint64 RunHistoryWindow::selectedBench() const
{
    const QList<QTableWidgetItem *> items = m_table->selectedItems();
    return items.isEmpty() ? 0 : benchAt(items.first()->row());
}

QVector<qint64> RunHistoryWindow::selectedRuns() const
{
    std::vector<std::pair<qint64, QVector<qint64>>> runs;   // start, ids
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows()) {
        const QTableWidgetItem *item = m_table->item(index.row(), Start);
        if (!item)
            continue;
        QVector<qint64> ids;
        if (benchAt(index.row())) {
            for (const QVariant &id : item->data(kMembersRole).toList())
                ids << id.toLongLong();
        } else {
            ids << item->data(Qt::UserRole).toLongLong();
        }
        runs.emplace_back(item->data(Qt::UserRole + 1).toLongLong(), ids);
    }
    std::stable_sort(runs.begin(), runs.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QVector<qint64> ids;
    for (const auto &r : runs)
        ids << r.second;
    return ids;
}

void RunHistoryWindow::setLiveRun(qint64 id)
{
    m_liveId = id;
}

void RunHistoryWindow::setShown(qint64 id)
{
    m_shownId = id;
    retranslate();
}

void RunHistoryWindow::refresh()
{
    const qint64 selected = selectedRun();
    const qint64 selectedBenchId = selectedBench();
    const QSignalBlocker blocker(m_table);
    m_table->setRowCount(0);
    const std::vector<JournalRun> runs = m_journal->runs();
    // A bench's row where its newest meter's run is; its other runs in it.
    // One whose other runs were deleted is a run again.
    std::map<qint64, const JournalBench *> benchOf;
    const std::vector<JournalBench> benches = m_journal->benches();
    for (const JournalBench &bench : benches)
        for (const JournalBench::Member &m : bench.members)
            if (bench.members.size() >= 2)
                benchOf[m.run] = &bench;
    std::set<qint64> shown;
    int rows = 0;
    for (const JournalRun &run : runs)
        rows += !benchOf.count(run.id) || shown.insert(benchOf[run.id]->id).second;
    shown.clear();
    m_table->setRowCount(rows);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    int row = 0;
    for (const JournalRun &run : runs) {
        if (benchOf.count(run.id)) {
            const JournalBench &bench = *benchOf[run.id];
            if (!shown.insert(bench.id).second)
                continue;
            showBench(row, bench, runs);
            if (bench.id == selectedBenchId)
                m_table->selectRow(row);
            ++row;
            continue;
        }
        const bool live = !run.finished();
        // A finished run: from its first record to its last, as everywhere.
        const QString duration = live ? durationText(std::max<qint64>(0, (now - run.startMs) / 1000))
                                      : TimeText::runDuration(run.duration_s);
        auto *start = cell(TimeText::localDateTime(run.startMs));
        start->setData(Qt::UserRole, run.id);
        start->setData(Qt::UserRole + 1, run.startMs);
        m_table->setItem(row, Start, start);
        m_table->setItem(row, Duration, cell(duration, true));
        m_table->setItem(row, Meter, cell((run.model + QLatin1Char(' ') + run.serial).trimmed()));
        m_table->setItem(row, Records, cell(QString::number(run.records), true));
        m_table->setItem(row, Charge, cell(QString::number(run.charge_ah, 'f', 4), true));
        m_table->setItem(row, Energy, cell(QString::number(run.energy_wh, 'f', 4), true));
        m_table->setItem(row, PeakPower, cell(QString::number(run.power_max, 'f', 3), true));
        m_table->setItem(row, EndReason, cell(reasonText(run.endReason, live)));
        m_table->setItem(row, Name, cell(run.name));
        if (live)
            showRunningFigures(row, run.id, run.records);
        if (run.id == selected)
            m_table->selectRow(row);
        ++row;
    }
    updateButtons();
}

void RunHistoryWindow::showBench(int row, const JournalBench &bench, const std::vector<JournalRun> &runs)
{
    bool live = false;
    double longest = 0.0;
    qint64 records = 0;
    QString reason;
    QStringList meters;
    QVariantList members;
    std::map<QString, double> energy;
    for (const JournalBench::Member &m : bench.members) {
        members << m.run;
        meters << m.role + QLatin1Char(' ') + m.serial;
        for (const JournalRun &run : runs) {
            if (run.id != m.run)
                continue;
            live = live || !run.finished();
            longest = std::max(longest, run.duration_s);
            records += run.records;
            energy[m.role] = run.energy_wh;
            if (reason.isEmpty())
                reason = run.endReason;
        }
    }
    auto *start = cell(TimeText::localDateTime(bench.startMs));
    start->setData(Qt::UserRole, 0);
    start->setData(Qt::UserRole + 1, bench.startMs);
    start->setData(kBenchRole, bench.id);
    start->setData(kMembersRole, members);
    m_table->setItem(row, Start, start);
    m_table->setItem(row, Duration, cell(live ? durationText(std::max<qint64>(0, (QDateTime::currentMSecsSinceEpoch() - bench.startMs) / 1000))
                                              : TimeText::runDuration(longest), true));
    m_table->setItem(row, Meter, cell(tr("工作台：%1").arg(meters.join(QStringLiteral(", ")))));
    m_table->setItem(row, Records, cell(QString::number(records), true));
    m_table->setItem(row, Charge, cell(QStringLiteral("-"), true));
    const bool inOut = energy.count(QStringLiteral("in")) && energy.count(QStringLiteral("out"));
    m_table->setItem(row, Energy, cell(inOut ? QStringLiteral("%1 → %2").arg(energy[QStringLiteral("in")], 0, 'f', 4)
                                                   .arg(energy[QStringLiteral("out")], 0, 'f', 4)
                                             : QStringLiteral("-"), true));
    m_table->setItem(row, PeakPower, cell(QStringLiteral("-"), true));
    m_table->setItem(row, EndReason, cell(reasonText(reason, live)));
    m_table->setItem(row, Name, cell(bench.name));
}

void RunHistoryWindow::refreshLive(int records)
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (runAt(row) != m_liveId || !m_liveId)
            continue;
        m_table->item(row, Records)->setText(QString::number(records));
        showRunningFigures(row, m_liveId, records);
        const qint64 started = m_table->item(row, Start)->data(Qt::UserRole + 1).toLongLong();
        m_table->item(row, Duration)->setText(
            durationText(std::max<qint64>(0, (QDateTime::currentMSecsSinceEpoch() - started) / 1000)));
    }
}

void RunHistoryWindow::showRunningFigures(int row, qint64 id, int records)
{
    if (records <= 0)
        return;
    // The journal's running sums: the same figures the run's row gets at its end.
    const IntervalStats s = m_journal->statsOfRecords(id, 0, records - 1);
    if (s.records == 0)
        return;
    m_table->item(row, Charge)->setText(QString::number(s.charge_ah, 'f', 4));
    m_table->item(row, Energy)->setText(QString::number(s.energy_wh, 'f', 4));
    m_table->item(row, PeakPower)->setText(QString::number(double(s.power.max), 'f', 3));
}

void RunHistoryWindow::placeOverOwner()
{
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen *screen = owner && owner->windowHandle() ? owner->windowHandle()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // The frame the window manager adds, once known (a guess before the
    // window manager has framed it); the window fits in the screen with it.
    QMargins frame(8, style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8, 8, 8);
    const QRect outerNow = frameGeometry(), innerNow = geometry();
    if (isVisible() && outerNow != innerNow)
        frame = QMargins(innerNow.left() - outerNow.left(), innerNow.top() - outerNow.top(),
                         outerNow.right() - innerNow.right(), outerNow.bottom() - innerNow.bottom());
    const QSize room = available.size() - QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    if (!m_sized) {
        // The first time; later as the user left it.
        m_sized = true;
        m_table->resizeColumnsToContents();
        resize(preferredSize());
    }
    resize(size().boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room)));
    QRect outer(QPoint(), size().grownBy(frame));
    outer.moveCenter(owner ? owner->frameGeometry().center() : available.center());
    outer.moveLeft(qBound(available.left(), outer.left(), available.right() + 1 - outer.width()));
    outer.moveTop(qBound(available.top(), outer.top(), available.bottom() + 1 - outer.height()));
    move(outer.topLeft());
}

QString RunHistoryWindow::reasonText(const QString &reason, bool live) const
{
    return StopConditions::reasonWords(reason, live);
}

void RunHistoryWindow::updateButtons()
{
    const int selected = m_table->selectionModel() ? m_table->selectionModel()->selectedRows().size() : 0;
    // One run for what acts on a run, two to eight to compare them; a
    // bench is opened and reported as one, and compared as its runs.
    const qint64 id = selected == 1 ? selectedRun() : 0;
    const qint64 bench = selected == 1 ? selectedBench() : 0;
    for (QPushButton *b : {m_csv, m_png, m_rename})
        b->setEnabled(id != 0);
    for (QPushButton *b : {m_open, m_report})
        b->setEnabled(id != 0 || bench != 0);
    m_delete->setEnabled(id != 0 && id != m_liveId);
    const int runs = selected >= 2 ? selectedRuns().size() : 0;
    m_compare->setEnabled(runs >= 2 && runs <= 8);
    m_live->setEnabled(m_shownId != 0);
}

void RunHistoryWindow::renameSelected()
{
    const qint64 id = selectedRun();
    if (!id)
        return;
    QString name = m_table->item(m_table->selectedItems().first()->row(), Name)->text();
    if (!Prompts::getText(this, tr("重命名"), tr("这次运行的名称:"), name))
        return;
    if (!m_journal->rename(id, name.trimmed()))
        Prompts::warning(this, tr("错误"), m_journal->message());
    refresh();
}

void RunHistoryWindow::deleteSelected()
{
    const qint64 id = selectedRun();
    if (!id || id == m_liveId)
        return;
    if (m_journal->isRecording(id)) {
        Prompts::warning(this, tr("删除"), tr("这次运行正由另一个程序记录，不能删除；它结束后才可以删除。"));
        return;
    }
    const QString start = m_table->item(m_table->selectedItems().first()->row(), Start)->text();
    if (!Prompts::question(this, tr("删除"), tr("删除 %1 开始的这次运行及其全部记录？此操作无法撤销。").arg(start)))
        return;
    if (!m_journal->remove(id)) {
        const QString why = m_journal->message();
        Prompts::warning(this, tr("错误"), why.isEmpty() ? tr("无法删除这次运行。") : why);
        refresh();
        return;
    }
    refresh();
    emit removed(id);
}

void RunHistoryWindow::retranslate()
{
    setWindowTitle(tr("历史记录"));
    m_table->setHorizontalHeaderLabels({tr("开始"), tr("时长"), tr("仪表"), tr("记录数"), tr("电量(Ah)"),
                                        tr("能量(Wh)"), tr("峰值功率(W)"), tr("结束原因"), tr("名称")});
    m_open->setText(tr("在图表中打开"));
    m_csv->setText(tr("导出数据(.csv)"));
    m_png->setText(tr("导出图片(.png)"));
    m_rename->setText(tr("重命名"));
    m_delete->setText(tr("删除"));
    m_live->setText(tr("返回实时"));
    m_compare->setText(tr("对比"));
    m_compare->setToolTip(tr("选择 2 到 8 次运行（按住 Ctrl 或 Shift 单击）进行对比"));
    m_report->setText(tr("报告"));
    m_shownLabel->setText(m_shownId ? tr("图表显示的是一次保存的运行（只读）。") : tr("图表显示的是实时运行。"));
    updateButtons();
}

void RunHistoryWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        refresh();
    }
    QWidget::changeEvent(event);
}
