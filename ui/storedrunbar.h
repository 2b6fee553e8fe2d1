#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class RunHistoryController;
class RunJournal;

// On the chart's page while a stored run is on the chart: which run it is
// (its id, name and start) and the way back to the live run, which goes on
// recording behind it. Hidden while the live run is shown.
class StoredRunBar : public QWidget
{
    Q_OBJECT
public:
    StoredRunBar(RunHistoryController &history, RunJournal *journal, QWidget *parent = nullptr);

    // The texts again, in the language now installed.
    void retranslate();
    QLabel *label() const { return m_label; }
    QPushButton *backButton() const { return m_back; }

private:
    void show(qint64 storedId);

    RunJournal *m_journal;
    QLabel *m_label;
    QPushButton *m_back;
    qint64 m_id = 0;
};
