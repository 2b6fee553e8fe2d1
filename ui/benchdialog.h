#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class BenchRecording;
class BenchStrip;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The window's "Bench" dialog: the meters attached, each with a tick and a
// role (in, out or a name), the bench's name, and Start/Stop for a bench
// recorded beside the window's own run (BenchRecording: each meter's run in
// the journal, the bench linking them). While it goes on, a line for each
// meter with its V, A and W, and the last in/out pair's efficiency, loss,
// drop and resistance. One for the window: open() shows it again.
class BenchDialog : public QDialog
{
    Q_OBJECT
public:
    // `ownRun` gives the window's own run in the journal (its meter may be
    // one of the bench's too).
    static BenchDialog *open(QWidget *parent, std::function<qint64()> ownRun);
    ~BenchDialog() override;

    QTableWidget *meterTable() const { return m_table; }
    QCheckBox *tick(int row) const;
    QComboBox *role(int row) const;
    QLineEdit *nameEdit() const { return m_name; }
    QPushButton *startButton() const { return m_start; }
    QLabel *statusLabel() const { return m_status; }
    QLabel *pairLabel() const { return m_pair; }
    QLabel *meterLabel(int member) const;
    bool recording() const { return m_bench != nullptr; }

signals:
    // A bench began (its recording), or is about to end (null).
    void benchChanged(BenchRecording *bench);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    BenchDialog(QWidget *parent, std::function<qint64()> ownRun);
    void listMeters();
    void startOrStop();
    void start();
    void stop();
    void retranslate();

    QTableWidget *m_table = nullptr;
    QLineEdit *m_name = nullptr;
    QLabel *m_nameLabel = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_start = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_pair = nullptr;
    BenchStrip *m_strip = nullptr;
    std::unique_ptr<BenchRecording> m_bench;
    std::function<qint64()> m_ownRun;
};
