#pragma once

#include <QVector>
#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class RunJournal;
struct JournalBench;
struct JournalRun;

// The run history: every run the journal keeps, newest first, with what it
// measured. A run is opened in the main window's chart, exported, renamed
// or deleted from here; the live run is marked and cannot be deleted. A
// bench is one row (its meters' runs together), opened as one chart of its
// own or reported; compared with other runs, its meters' runs take part.
class RunHistoryWindow : public QWidget
{
    Q_OBJECT
public:
    enum Column { Start, Duration, Meter, Records, Charge, Energy, PeakPower, EndReason, Name, ColumnCount };

    RunHistoryWindow(RunJournal *journal, QWidget *owner);

    QTableWidget *table() const { return m_table; }
    QPushButton *openButton() const { return m_open; }
    QPushButton *csvButton() const { return m_csv; }
    QPushButton *pngButton() const { return m_png; }
    QPushButton *renameButton() const { return m_rename; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *liveButton() const { return m_live; }
    QPushButton *compareButton() const { return m_compare; }
    QPushButton *reportButton() const { return m_report; }

    // The id of the run in a row, and of the selected one (0: none, or a
    // bench's row).
    qint64 runAt(int row) const;
    // The id of the bench in a row, and of the selected one (0: none).
    qint64 benchAt(int row) const;
    qint64 selectedBench() const;
    qint64 selectedRun() const;
    // The runs selected, oldest first; a bench's meters' runs in its order.
    QVector<qint64> selectedRuns() const;

    // The live run's id in the journal (0: none) and the run the chart shows
    // (0: the live one).
    void setLiveRun(qint64 id);
    void setShown(qint64 id);
    // The list read anew, the selection kept.
    void refresh();
    // The live run grew to `records`: its row follows while the window is open,
    // with the running charge, energy and peak power.
    void refreshLive(int records);
    // Over the owner window, whole on its screen; the first time it opens,
    // at its preferred size as far as the screen allows.
    void placeOverOwner();
    // Every column whole, its texts as they are now, and ten rows, with
    // whatever else the window holds around the list.
    QSize preferredSize();
    static constexpr int kRowsShown = 10;

signals:
    void openRequested(qint64 id);
    void csvRequested(qint64 id);
    void pngRequested(qint64 id);
    void liveRequested();
    void removed(qint64 id);
    void compareRequested(const QVector<qint64> &ids);
    void reportRequested(qint64 id);
    void benchOpenRequested(qint64 benchId);
    void benchReportRequested(qint64 benchId);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void updateButtons();
    void renameSelected();
    void deleteSelected();
    QString reasonText(const QString &reason, bool live) const;
    // A bench's row: its start, its longest run, its meters by role, their
    // records together, the energy in and out, how its first run ended.
    void showBench(int row, const JournalBench &bench, const std::vector<JournalRun> &runs);
    // A run that goes on: its figures so far, from its records in the journal.
    void showRunningFigures(int row, qint64 id, int records);

    RunJournal *m_journal;
    QTableWidget *m_table;
    QLabel *m_shownLabel;
    QPushButton *m_open, *m_csv, *m_png, *m_rename, *m_delete, *m_live;
    QPushButton *m_compare, *m_report;
    qint64 m_liveId = 0;
    qint64 m_shownId = 0;
    bool m_sized = false;
};
