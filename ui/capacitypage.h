#pragma once

#include "recording/journalreader.h"
#include "recording/runstats.h"
#include "recording/stopconditions.h"

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The content of page six: the conditions that end a run by themselves, each
// with its switch and value(s), the buttons that start a run with them and
// stop it, the run's elapsed time, charge and energy while it goes on, and
// which condition ended it with the run's summary.
class CapacityPage : public QWidget
{
    Q_OBJECT
public:
    explicit CapacityPage(QWidget *parent = nullptr);

    // The conditions as the controls set them, and the other way round.
    StopConditions conditions() const;
    void setConditions(const StopConditions &conditions);

    QCheckBox *check(StopConditions::Kind kind) const { return m_checks[kind]; }
    QDoubleSpinBox *value(StopConditions::Kind kind) const { return m_values[kind]; }
    // How long the current stays below its level.
    QDoubleSpinBox *seconds() const { return m_seconds; }
    QPushButton *startButton() const { return m_start; }
    QPushButton *stopButton() const { return m_stop; }
    QLabel *liveLabel() const { return m_live; }
    QLabel *endLabel() const { return m_end; }
    // What the run under way stops on, and what Start would end.
    QLabel *appliesLabel() const { return m_applies; }
    QLabel *startNote() const { return m_startNote; }
    // The name and fields of the run Start begins, as the history keeps them.
    enum Field { Name, Dut, Source, Cable, Ambient, Notes, FieldCount };
    QLineEdit *field(Field f) const { return m_fields[f]; }
    QString runName() const;
    // False when the ambient temperature is no number of degrees.
    bool runFields(RunFields *fields) const;

    // The run as it goes on; `running` false for none; `armed` whether the
    // conditions apply to it (it was started here).
    void showRun(bool running, qint64 elapsedMs, const IntervalStats &total, bool armed = false,
                 int records = 0);
    // The condition that ended the run and its summary; empty clears it.
    void showEnd(const QString &text);
    static QString elapsedText(qint64 ms);
    void retranslate();

signals:
    void startClicked();
    void stopClicked();
    // A switch or a value changed.
    void conditionsChanged();

private:
    QCheckBox *m_checks[StopConditions::KindCount] = {};
    QDoubleSpinBox *m_values[StopConditions::KindCount] = {};
    QDoubleSpinBox *m_seconds = nullptr;
    QLabel *m_after[StopConditions::KindCount] = {};
    QLabel *m_title = nullptr;
    QLabel *m_live = nullptr;
    QLabel *m_end = nullptr;
    QLabel *m_applies = nullptr;
    QLabel *m_startNote = nullptr;
    QLabel *m_fieldLabels[FieldCount] = {};
    QLineEdit *m_fields[FieldCount] = {};
    bool m_armed = false;
    int m_records = 0;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    bool m_running = false;
    qint64 m_elapsedMs = 0;
    IntervalStats m_total;
};
