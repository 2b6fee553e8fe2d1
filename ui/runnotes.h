#pragma once

#include "recording/journalreader.h"

#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class RunHistoryWindow;
class RunJournal;

// What a run is about and its marks, in the run history: a filter box over
// the runs' names, notes and fields above the list; below it, the selected
// run's notes and fields (device under test, charger or source, cable,
// ambient temperature), saved with "Save", and its marks, renamed or deleted
// here. Put into the history window by attach().
class RunNotesPanel : public QWidget
{
    Q_OBJECT
public:
    enum MarkColumn { MarkTime, MarkName, MarkColumnCount };

    // The panel in `window`'s layout, its filter box above the list.
    static RunNotesPanel *attach(RunJournal *journal, RunHistoryWindow *window);

    QLineEdit *filterEdit() const { return m_filter; }
    QLineEdit *dutEdit() const { return m_dut; }
    QLineEdit *sourceEdit() const { return m_source; }
    QLineEdit *cableEdit() const { return m_cable; }
    QLineEdit *ambientEdit() const { return m_ambient; }
    QPlainTextEdit *notesEdit() const { return m_notes; }
    QPushButton *saveButton() const { return m_save; }
    QTableWidget *marksTable() const { return m_marks; }
    QPushButton *renameMarkButton() const { return m_renameMark; }
    QPushButton *deleteMarkButton() const { return m_deleteMark; }

    // Whether a run matches the filter's words (every word, anywhere in its
    // name, notes or fields, letter case aside).
    static bool matches(const JournalRun &run, const QString &filter);

public slots:
    // The selected run's fields and marks read again.
    void showSelected();
    void applyFilter();

protected:
    void changeEvent(QEvent *event) override;

private:
    RunNotesPanel(RunJournal *journal, RunHistoryWindow *window);
    void retranslate();
    void save();
    void renameMark();
    void deleteMark();
    void updateButtons();
    // The selected mark's id (0 when none), and its name.
    qint64 selectedMark(QString *name = nullptr) const;

    RunJournal *m_journal;
    RunHistoryWindow *m_window;
    QWidget *m_filterRow;
    QLabel *m_filterLabel;
    QLineEdit *m_filter;
    QLabel *m_labels[5] = {};
    QLineEdit *m_dut, *m_source, *m_cable, *m_ambient;
    QPlainTextEdit *m_notes;
    QPushButton *m_save;
    QLabel *m_marksLabel;
    QTableWidget *m_marks;
    QPushButton *m_renameMark, *m_deleteMark;
    qint64 m_run = 0;
    std::vector<RunMark> m_shownMarks;
    bool m_filtering = false;
};
