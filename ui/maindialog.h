#pragma once

#include "device/firmwareupgrade.h"
#include "device/meterfeed.h"
#include "device/meterport.h"
#include "recording/readinglog.h"
#include "ui/dispheaderlayout.h"

#include <QDialog>
#include <QMenu>
#include <QList>
#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <functional>

namespace Ui {
class MainDialog;
}
class BenchStrip;
class DeviceInfoUI;
class QLabel;
class QPushButton;
class QToolButton;
class QTranslator;
class USBThread;
class ChartView;
class LiveChart;
class LiveChartController;
class customcoordinates;
class RunJournal;
class RunSession;
class LiveRun;
class RunTimeline;
class CapacityPage;
class CapacityController;
class MeasureCursors;
class MeasureController;
class MarkController;
class ExportController;
class StatsPanel;
class RunHistoryController;
class RunHistoryWindow;
class UpgradeController;
class DeviceList;
class FramelessWindow;
class LiveOutputs;
class StoredRunBar;

// The application's window and hub: it owns the meter link (worker thread
// and the dialog's own handle), the pages and their navigation and the live
// readings, and creates and wires the features, each a class of its own.
class MainDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr unsigned short kVendorId = kMeterVendorId;
    static constexpr unsigned short kProductId = kMeterProductId;

    explicit MainDialog(QWidget *parent = nullptr);
    ~MainDialog() override;

    // Writes a command frame on the dialog handle, if it is open.
    void usb_send(const void *data, unsigned int length);
    void usb_send_code(unsigned char code);

    Ui::MainDialog *form() const { return ui; }
    MeterPort &meterPort() { return m_port; }
    USBThread *worker() const { return m_worker; }
    QString modelWord() const;
    QString serialPrefix() const;
    bool isPlotting() const;
    LiveChart *liveChart() const;
    ChartView *chartView() const;
    const ReadingLog &readingLog() const;
    // The chart on show: the live run's, or a stored run's from the history.
    LiveChart *shownChart() const;
    bool showsStoredRun() const;
    const ReadingLog &storedLog() const;
    // The live run, its journal sink attached (other sinks attach after).
    LiveRun *liveRun() const;
    // The journal every run is kept in (opened when asked for), the live
    // run's id in it (0: none) and the history window, once opened.
    RunJournal *journal() const;
    qint64 journalRunId() const;
    RunHistoryWindow *historyWindow() const;
    // A stored run of the journal shown in the chart, and back to the live run.
    void openStoredRun(qint64 id);
    void showLiveRun();
    ReadingLog &readingLog();
    customcoordinates *customAxis() const;
    QTableView *curveTable() const;
    QTimer &chartTimer() { return m_chartTimer; }
    QTimer &dashboardTimer() { return m_dashboardTimer; }
    bool isEnglish() const { return m_english; }
    // The firmware upgrade page's timer, transfer and wait for the loader.
    QTimer *upgradeTimer() const;
    const FirmwareTransfer &firmwareTransfer() const;
    void setLoaderWait(std::function<void(int ms)> wait);
    // The clocks of the chart and the log, in ms: the wall clock (since the
    // epoch) for time stamps, and a steady one that never steps back for the
    // run's timeline. Without a steady clock the wall clock serves as both.
    void setClock(std::function<qint64()> clock, std::function<qint64()> steady = {});
    QList<DeviceInfoUI *> deviceEntries() const;
    const QList<QToolButton *> &homeButtons() const { return m_homeButtons; }
    // Measurement cursors and their statistics.
    QPushButton *measureButton() const;
    MeasureCursors *measureCursors() const;
    // The marks on the chart, "Mark" and "Export interval".
    MarkController *markController() const { return m_marks; }
    // The meters of the bench the Bench dialog records, on the dashboard.
    BenchStrip *benchStrip() const { return m_benchStrip; }
    // Which stored run the chart shows, and the way back to the live run.
    StoredRunBar *storedRunBar() const { return m_storedBar; }
    StatsPanel *statsPanel() const;
    // Page six: the conditions that end a run by themselves.
    CapacityPage *capacityPage() const;

public slots:
    // Once a second: every waiting report is read and decoded, then shown.
    void dashboardTick();
    // Once a second: the request frame to the meter and, during a run, one
    // record of the reading log and the chart's follow-up.
    void chartTick();

    void usbreceivedata(unsigned char *data, unsigned int length);
    void usbconnect(QString dev_str);
    void usbdisconnect();
    void usbsenderror();
    void usbaccessdenied(QString node);
    void mytimer_timeout();

    void on_disp_btnReturn_clicked();
    void on_upgrade_btnReturn_clicked();
    void on_settings_btnReturn_clicked();
    void on_settings_btnReturn_k4_clicked();
    void on_four_btnReturn_clicked();
    void on_five_btnReturn_clicked();
    void on_six_btnReturn_clicked();
    void on_disp_btnUpgrade_clicked();
    void on_disp_btnSysSet_clicked();
    void on_btnMenu_Min_clicked();
    void on_btnMenu_Max_clicked();
    void on_btnMenu_Close_clicked();
    void on_disp_Btn_Run_clicked();

    // Menus, exports and language
    void on_disp_btn_menu_clicked();
    void on_btnMenu_Menu_clicked();
    void onAct1Clicked_Slot();
    void onAct2Clicked_Slot();
    void onS_Act1Clicked_Slot();
    void onS_Act2Clicked_Slot();

    // Live chart (LiveChartController)
    void on_disp_btn_dp_dm_clicked();
    void on_disp_btn_cc1_cc2_clicked();
    void on_disp_btn_temp_clicked();
    void on_disp_btn_title_clicked();
    void on_disp_btn_RangCustom_clicked();
    void onAct3Clicked_Slot();
    void onAct4Clicked_Slot();
    void onAct5Clicked_Slot();
    void onCBox_9_Slot(int index);
    // Data menu: the run history, the live outputs.
    void onRunHistory_Slot();
    void onLiveOutputs_Slot();
    void onBench_Slot();

    void refreshDeviceList();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void done(int result) override;

private:
    void initForm();
    void stopWorker();
    void goHome();
    // A home page's button: the page it names.
    void openHomePage(const QString &text);
    void openUpgradePage(const QString &title);
    void openSettingsPage(const QString &title);
    void openPage(int index, QLabel *title, QPushButton *returnButton, const QString &text);
    void showReading(bool settingsArrived);
    void showMeterSettings();
    void initRun();
    // The run's timeline: the window's clocks.
    RunTimeline &timeline() const;
    void runStart();
    void showRunning(bool running);
    void showLanguage(bool english);
    void retranslateHomeButtons();
    void showAccessTip();
    void attachMenu(QPushButton *button, QMenu *menu, QPointer<QMenu> &current);
    void recordTick();
    void initHistory();
    // Measurement cursors and their panel (MeasureController).
    void initMeasure();
    // Page six and the stop conditions (CapacityController).
    void initCapacityPage();

    Ui::MainDialog *ui;
    unsigned short m_vid = kVendorId;
    unsigned short m_pid = kProductId;
    MeterPort m_port;
    // The meter's reports, decoded into the reading the dashboard paints.
    MeterFeed m_feed{m_port, meterReading()};
    QTimer m_chartTimer;
    QTimer m_dashboardTimer;
    QTranslator *m_translator = nullptr;
    USBThread *m_worker = nullptr;
    QList<QToolButton *> m_homeButtons;

    DeviceList *m_devices = nullptr;

    unsigned char m_requestState = 1;

    // The live run and its journal; a stored run shown in the chart instead.
    RunSession *m_session = nullptr;
    RunHistoryController *m_history = nullptr;
    LiveOutputs *m_outputs = nullptr;
    StoredRunBar *m_storedBar = nullptr;

    // Menus and language
    bool m_english = false;
    QPointer<QMenu> m_dataMenu;
    QPointer<QMenu> m_languageMenu;
    // The device node the meter could not be opened through, while it is so.
    QString m_deniedNode;

    // The run's timeline and the live chart
    LiveChartController *m_chart = nullptr;

    // Measurement and runs that end by themselves
    MeasureController *m_measure = nullptr;
    MarkController *m_marks = nullptr;
    BenchStrip *m_benchStrip = nullptr;
    ExportController *m_exports = nullptr;
    CapacityController *m_capacity = nullptr;

    UpgradeController *m_upgrade = nullptr;

    DispHeaderLayout m_dispLayout;

    // Frameless window: drag, edge resize, maximise toggle
    FramelessWindow *m_frame = nullptr;
};
