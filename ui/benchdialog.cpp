#include "ui/benchdialog.h"

#include "device/meterport.h"
#include "meterbench/benchrecording.h"
#include "recording/runjournal.h"
#include "ui/benchstrip.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const char kObjectName[] = "benchDialog";
}

BenchDialog *BenchDialog::open(QWidget *parent, std::function<qint64()> ownRun)
{
    auto *dialog = parent->findChild<BenchDialog *>(QLatin1String(kObjectName), Qt::FindDirectChildrenOnly);
    if (!dialog)
        dialog = new BenchDialog(parent, std::move(ownRun));
    else if (!dialog->recording())
        dialog->listMeters();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

BenchDialog::BenchDialog(QWidget *parent, std::function<qint64()> ownRun) : QDialog(parent), m_ownRun(std::move(ownRun))
{
    setObjectName(QLatin1String(kObjectName));
    auto *layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 2, this);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setMinimumWidth(420);
    layout->addWidget(m_table);
    auto *form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_nameLabel = new QLabel(this);
    form->addRow(m_nameLabel, m_name);
    layout->addLayout(form);
    m_strip = new BenchStrip(Qt::Vertical, true, this);
    layout->addWidget(m_strip);
    m_pair = new QLabel(this);
    layout->addWidget(m_pair);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    m_refresh = new QPushButton(this);
    m_start = new QPushButton(this);
    buttons->addWidget(m_refresh);
    buttons->addStretch();
    buttons->addWidget(m_start);
    layout->addLayout(buttons);
    connect(m_refresh, &QPushButton::clicked, this, &BenchDialog::listMeters);
    connect(m_start, &QPushButton::clicked, this, &BenchDialog::startOrStop);
    retranslate();
    listMeters();
}

void BenchDialog::retranslate()
{
    setWindowTitle(tr("工作台"));
    m_table->setHorizontalHeaderLabels({tr("电表"), tr("角色")});
    m_nameLabel->setText(tr("名称"));
    m_refresh->setText(tr("刷新"));
    m_start->setText(m_bench ? tr("停止") : tr("开始"));
}

void BenchDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

BenchDialog::~BenchDialog()
{
    stop();
}

QCheckBox *BenchDialog::tick(int row) const
{
    return qobject_cast<QCheckBox *>(m_table->cellWidget(row, 0));
}

QComboBox *BenchDialog::role(int row) const
{
    return qobject_cast<QComboBox *>(m_table->cellWidget(row, 1));
}

QLabel *BenchDialog::meterLabel(int member) const
{
    return m_strip->meterLabel(member);
}

void BenchDialog::listMeters()
{
    const std::vector<AttachedMeter> meters = attachedMeters();
    m_table->setRowCount(int(meters.size()));
    for (int row = 0; row < int(meters.size()); ++row) {
        const AttachedMeter &m = meters[size_t(row)];
        auto *box = new QCheckBox(QStringLiteral("%1 %2").arg(m.model, m.serial).trimmed(), m_table);
        box->setProperty("serial", m.serial);
        box->setEnabled(m.accessible);
        m_table->setCellWidget(row, 0, box);
        auto *combo = new QComboBox(m_table);
        combo->setEditable(true);
        combo->addItems({QStringLiteral("in"), QStringLiteral("out")});
        // The first two as in and out, the others each a name of its own.
        combo->setCurrentText(row == 0 ? QStringLiteral("in")
                                       : row == 1 ? QStringLiteral("out") : QStringLiteral("meter%1").arg(row + 1));
        m_table->setCellWidget(row, 1, combo);
    }
    m_status->setText(meters.empty() ? tr("没有连接电表") : QString());
}

void BenchDialog::startOrStop()
{
    if (m_bench)
        stop();
    else
        start();
}

void BenchDialog::start()
{
    BenchRecording::Request request;
    request.name = m_name->text().trimmed();
    request.ownRun = m_ownRun ? m_ownRun() : 0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (tick(row) && tick(row)->isChecked())
            request.members.push_back({role(row)->currentText().trimmed(), tick(row)->property("serial").toString()});
    }
    QString words = BenchRecording::checkMembers(request.members);
    if (!words.isEmpty()) {
        m_status->setText(words);
        return;
    }
    bool noMeter = false;
    auto bench = std::make_unique<BenchRecording>(request);
    if (!bench->open(&words, &noMeter)) {
        m_status->setText(words);
        return;
    }
    m_bench = std::move(bench);
    connect(m_bench.get(), &BenchRecording::said, m_status, &QLabel::setText);
    connect(m_bench.get(), &BenchRecording::finished, this, &BenchDialog::stop, Qt::QueuedConnection);
    connect(m_bench.get(), &BenchRecording::derived, this, [this](const std::vector<Bench::Derived> &values) {
        const Bench::Derived &d = values.back();
        m_pair->setText(d.gap() ? tr("效率、损耗、压降：空缺（有一个电表没有记录）")
                                : tr("效率 %1 %   损耗 %2 W   压降 %3 V   电阻 %4")
                                      .arg(d.efficiencyPct, 0, 'f', 2)
                                      .arg(d.lossW, 0, 'f', 3)
                                      .arg(d.dropV, 0, 'f', 3)
                                      .arg(qIsNaN(d.resistanceOhm) ? QStringLiteral("-")
                                                                   : QStringLiteral("%1 \u03a9").arg(d.resistanceOhm, 0, 'f', 3)));
    });
    m_strip->attach(m_bench.get());
    emit benchChanged(m_bench.get());
    m_bench->attachFiles();
    m_bench->begin();
    retranslate();
    m_table->setEnabled(false);
    m_refresh->setEnabled(false);
    m_status->setText(tr("工作台记录中：%1 个电表").arg(m_bench->size()));
}

void BenchDialog::stop()
{
    if (!m_bench)
        return;
    // Only once, whoever asks: finished() comes back here.
    std::unique_ptr<BenchRecording> bench = std::move(m_bench);
    m_strip->attach(nullptr);
    emit benchChanged(nullptr);
    bench->finish(QLatin1String(RunJournal::kStopped));
    bench->close();
    const qint64 id = bench->benchId();
    bench.reset();
    retranslate();
    m_table->setEnabled(true);
    m_refresh->setEnabled(true);
    m_status->setText(id ? tr("工作台 b%1 已保存在历史记录中").arg(id) : tr("工作台已结束"));
}

void BenchDialog::closeEvent(QCloseEvent *event)
{
    stop();
    QDialog::closeEvent(event);
}
