#include "ui/storedrunbar.h"

#include "base/timetext.h"
#include "charts/livechart.h"
#include "recording/runjournal.h"
#include "ui/runhistorycontroller.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

StoredRunBar::StoredRunBar(RunHistoryController &history, RunJournal *journal, QWidget *parent)
    : QWidget(parent), m_journal(journal), m_label(new QLabel(this)), m_back(new QPushButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_back);
    m_label->setStyleSheet(QStringLiteral("color: rgb(255, 200, 0);"));
    m_back->setMinimumSize(80, 30);
    connect(m_back, &QPushButton::clicked, &history, &RunHistoryController::showLiveRun);
    connect(&history, &RunHistoryController::chartShown, this, [this](LiveChart *, qint64 storedId) { show(storedId); });
    retranslate();
    hide();
}

void StoredRunBar::show(qint64 storedId)
{
    m_id = storedId;
    retranslate();
    setVisible(storedId != 0);
}

void StoredRunBar::retranslate()
{
    m_back->setText(QCoreApplication::translate("MainDialog", "返回实时"));
    if (!m_id || !m_journal)
        return;
    for (const JournalRun &run : m_journal->runs()) {
        if (run.id != m_id)
            continue;
        const QString start = TimeText::localDateTime(run.startMs);
        m_label->setText(run.name.isEmpty()
                             ? QCoreApplication::translate("MainDialog", "图表显示已保存的运行 %1，开始于 %2")
                                   .arg(run.id)
                                   .arg(start)
                             : QCoreApplication::translate("MainDialog", "图表显示已保存的运行 %1“%2”，开始于 %3")
                                   .arg(run.id)
                                   .arg(run.name, start));
        break;
    }
}
