#include "ui/runnotes.h"

#include "base/timetext.h"
#include "recording/runjournal.h"
#include "ui/prompts.h"
#include "ui/runhistory.h"

#include <QDoubleValidator>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

RunNotesPanel *RunNotesPanel::attach(RunJournal *journal, RunHistoryWindow *window)
{
    auto *panel = new RunNotesPanel(journal, window);
    if (auto *layout = qobject_cast<QVBoxLayout *>(window->layout())) {
        layout->insertWidget(0, panel->m_filterRow);
        layout->insertWidget(layout->indexOf(window->table()) + 1, panel);
    }
    return panel;
}

RunNotesPanel::RunNotesPanel(RunJournal *journal, RunHistoryWindow *window)
    : QWidget(window), m_journal(journal), m_window(window)
{
    m_filterRow = new QWidget(window);
    m_filterLabel = new QLabel(m_filterRow);
    m_filter = new QLineEdit(m_filterRow);
    m_filter->setObjectName(QStringLiteral("history_filter"));
    m_filter->setClearButtonEnabled(true);
    auto *filterLayout = new QHBoxLayout(m_filterRow);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->addWidget(m_filterLabel);
    filterLayout->addWidget(m_filter, 1);

    for (QLabel *&l : m_labels)
        l = new QLabel(this);
    m_dut = new QLineEdit(this);
    m_source = new QLineEdit(this);
    m_cable = new QLineEdit(this);
    m_ambient = new QLineEdit(this);
    auto *celsius = new QDoubleValidator(-273.15, 1000.0, 2, m_ambient);
    celsius->setLocale(QLocale::c());
    celsius->setNotation(QDoubleValidator::StandardNotation);
    m_ambient->setValidator(celsius);
    m_notes = new QPlainTextEdit(this);
    m_notes->setTabChangesFocus(true);
    m_notes->setMaximumHeight(70);
    m_save = new QPushButton(this);
    m_marksLabel = new QLabel(this);
    m_marks = new QTableWidget(0, MarkColumnCount, this);
    m_marks->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_marks->setSelectionMode(QAbstractItemView::SingleSelection);
    m_marks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_marks->verticalHeader()->hide();
    m_marks->horizontalHeader()->setStretchLastSection(true);
    m_marks->setMaximumHeight(110);
    m_renameMark = new QPushButton(this);
    m_deleteMark = new QPushButton(this);

    auto *fields = new QGridLayout;
    fields->addWidget(m_labels[0], 0, 0);
    fields->addWidget(m_dut, 0, 1);
    fields->addWidget(m_labels[1], 0, 2);
    fields->addWidget(m_source, 0, 3);
    fields->addWidget(m_labels[2], 1, 0);
    fields->addWidget(m_cable, 1, 1);
    fields->addWidget(m_labels[3], 1, 2);
    fields->addWidget(m_ambient, 1, 3);
    fields->addWidget(m_labels[4], 2, 0, Qt::AlignTop);
    fields->addWidget(m_notes, 2, 1, 1, 3);
    fields->addWidget(m_save, 3, 3, Qt::AlignRight);
    auto *markButtons = new QVBoxLayout;
    markButtons->addWidget(m_renameMark);
    markButtons->addWidget(m_deleteMark);
    markButtons->addStretch();
    auto *marks = new QGridLayout;
    marks->addWidget(m_marksLabel, 0, 0, 1, 2);
    marks->addWidget(m_marks, 1, 0);
    marks->addLayout(markButtons, 1, 1);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(fields, 3);
    layout->addLayout(marks, 2);

    QTableWidget *runs = window->table();
    connect(runs, &QTableWidget::itemSelectionChanged, this, &RunNotesPanel::showSelected);
    connect(m_filter, &QLineEdit::textChanged, this, &RunNotesPanel::applyFilter);
    // The list is filled anew (refresh): the filter applies to its rows.
    auto refilter = [this] {
        if (!m_filtering)
            QTimer::singleShot(0, this, &RunNotesPanel::applyFilter);
        m_filtering = true;
    };
    connect(runs->model(), &QAbstractItemModel::rowsInserted, this, refilter);
    connect(runs->model(), &QAbstractItemModel::modelReset, this, refilter);
    connect(m_save, &QPushButton::clicked, this, &RunNotesPanel::save);
    connect(m_renameMark, &QPushButton::clicked, this, &RunNotesPanel::renameMark);
    connect(m_deleteMark, &QPushButton::clicked, this, &RunNotesPanel::deleteMark);
    connect(m_marks, &QTableWidget::itemSelectionChanged, this, &RunNotesPanel::updateButtons);
    connect(m_marks, &QTableWidget::cellDoubleClicked, this, &RunNotesPanel::renameMark);
    // Marks made meanwhile (on the chart, by another program) show too.
    auto *timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible() && m_run && m_journal->marks(m_run).size() != m_shownMarks.size())
            showSelected();
    });
    timer->start();
    retranslate();
    showSelected();
}

void RunNotesPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void RunNotesPanel::retranslate()
{
    m_filterLabel->setText(tr("筛选："));
    m_filter->setPlaceholderText(tr("按名称、备注和字段筛选"));
    m_labels[0]->setText(tr("被测设备："));
    m_labels[1]->setText(tr("充电器/电源："));
    m_labels[2]->setText(tr("线缆："));
    m_labels[3]->setText(tr("环境温度 (°C)："));
    m_labels[4]->setText(tr("备注："));
    m_save->setText(tr("保存"));
    m_marksLabel->setText(tr("标记列表"));
    m_marks->setHorizontalHeaderLabels({tr("时间"), tr("名称")});
    m_renameMark->setText(tr("重命名标记"));
    m_deleteMark->setText(tr("删除标记"));
}

bool RunNotesPanel::matches(const JournalRun &run, const QString &filter)
{
    const QString text = QStringList{run.name, run.fields.notes, run.fields.dut, run.fields.source, run.fields.cable,
                                     run.fields.hasAmbient() ? QString::number(run.fields.ambientC) : QString()}
                             .join(QLatin1Char('\n'));
    for (const QString &word : filter.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!text.contains(word, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

void RunNotesPanel::applyFilter()
{
    m_filtering = false;
    QTableWidget *runs = m_window->table();
    const QString filter = m_filter->text().trimmed();
    std::vector<JournalRun> all;
    if (!filter.isEmpty())
        all = m_journal->runs();
    for (int row = 0; row < runs->rowCount(); ++row) {
        bool shown = filter.isEmpty();
        const qint64 id = m_window->runAt(row);
        for (const JournalRun &r : all) {
            if (r.id == id)
                shown = matches(r, filter);
        }
        runs->setRowHidden(row, !shown);
    }
}

void RunNotesPanel::showSelected()
{
    const qint64 id = m_window->selectedRun();
    RunFields fields;
    bool found = false;
    if (id) {
        for (const JournalRun &r : m_journal->runs()) {
            if (r.id == id) {
                fields = r.fields;
                found = true;
            }
        }
    }
    m_run = found ? id : 0;
    const bool editable = found && m_journal->isOpen();
    for (QWidget *w : std::initializer_list<QWidget *>{m_dut, m_source, m_cable, m_ambient, m_notes, m_save})
        w->setEnabled(editable);
    m_dut->setText(fields.dut);
    m_source->setText(fields.source);
    m_cable->setText(fields.cable);
    m_ambient->setText(fields.hasAmbient() ? QString::number(fields.ambientC) : QString());
    m_notes->setPlainText(fields.notes);

    const qint64 keep = selectedMark();
    m_shownMarks = m_run ? m_journal->marks(m_run) : std::vector<RunMark>();
    m_marks->setRowCount(int(m_shownMarks.size()));
    for (int row = 0; row < int(m_shownMarks.size()); ++row) {
        const RunMark &m = m_shownMarks[size_t(row)];
        m_marks->setItem(row, MarkTime, new QTableWidgetItem(TimeText::durationMs(m.atMs)));
        m_marks->setItem(row, MarkName, new QTableWidgetItem(m.name));
        if (m.id == keep)
            m_marks->selectRow(row);
    }
    updateButtons();
}

qint64 RunNotesPanel::selectedMark(QString *name) const
{
    const QList<QTableWidgetItem *> items = m_marks->selectedItems();
    const int row = items.isEmpty() ? -1 : items.first()->row();
    if (row < 0 || row >= int(m_shownMarks.size()))
        return 0;
    if (name)
        *name = m_shownMarks[size_t(row)].name;
    return m_shownMarks[size_t(row)].id;
}

void RunNotesPanel::updateButtons()
{
    const bool one = selectedMark() != 0;
    m_renameMark->setEnabled(one);
    m_deleteMark->setEnabled(one);
}

void RunNotesPanel::save()
{
    if (!m_run)
        return;
    RunFields fields;
    fields.dut = m_dut->text().trimmed();
    fields.source = m_source->text().trimmed();
    fields.cable = m_cable->text().trimmed();
    fields.notes = m_notes->toPlainText();
    if (!fields.setAmbient(m_ambient->text())) {
        Prompts::warning(m_window, tr("错误"), tr("环境温度应为摄氏度数，如 25 或 -5.5。"));
        return;
    }
    if (!m_journal->setFields(m_run, fields))
        Prompts::warning(m_window, tr("错误"), tr("无法保存：") + m_journal->message());
    applyFilter();
}

void RunNotesPanel::renameMark()
{
    QString name;
    const qint64 mark = selectedMark(&name);
    if (!mark)
        return;
    if (!Prompts::getText(m_window, tr("重命名标记"), tr("标记名称："), name))
        return;
    if (!m_journal->renameMark(mark, name.trimmed()))
        Prompts::warning(m_window, tr("错误"), tr("无法保存：") + m_journal->message());
    showSelected();
}

void RunNotesPanel::deleteMark()
{
    QString name;
    const qint64 mark = selectedMark(&name);
    if (!mark)
        return;
    if (!Prompts::question(m_window, tr("删除标记"), tr("删除标记“%1”？").arg(name)))
        return;
    if (!m_journal->removeMark(mark))
        Prompts::warning(m_window, tr("错误"), tr("无法删除：") + m_journal->message());
    showSelected();
}
