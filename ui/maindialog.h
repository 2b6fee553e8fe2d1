#pragma once

#include "device/channels.h"
#include "device/firmwareupgrade.h"
#include "device/meterport.h"
#include "recording/readinglog.h"
#include "recording/runstats.h"
#include "ui/dispheaderlayout.h"
#include "ui/frameless.h"

#include <QDialog>
#include <QMenu>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class MainDialog;
}
class DeviceInfoUI;
class QLabel;
class QPushButton;
class QToolButton;
class QTranslator;
class USBThread;
class ChartView;
class LiveChart;
class customcoordinates;
class RunJournal;
class CapacityPage;
class CapacityController;
class MeasureCursors;
class MeasureController;
class MarkController;
class StatsPanel;
class RunHistoryController;
class RunHistoryWindow;

// The application's window and hub: it owns the meter link (worker thread
// and the dialog's own handle), the pages and their navigation, the device
// list, the live readings and the live chart with its reading log.
class MainDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr unsigned short kVendorId = 0x0483;
    static constexpr unsigned short kProductId = 0x5750;

    explicit MainDialog(QWidget *parent = nullptr);
    ~MainDialog() override;

    // Writes a command frame on the dialog handle, if it is open.
    void usb_send(const void *data, unsigned int length);
    void usb_send_code(unsigned char code);

    Ui::MainDialog *form() const { return ui; }
    MeterPort &meterPort() { return m_port; }
    USBThread *worker() const { return m_worker; }
    QString modelWord() const { return m_modelWord; }
    QString serialPrefix() const { return m_serialPrefix; }
    bool isPlotting() const { return m_plotting; }
    LiveChart *liveChart() const { return m_live.get(); }
    ChartView *chartView() const { return m_view; }
    const ReadingLog &readingLog() const { return m_log; }
    // The chart on show: the live run's, or a stored run's from the history.
    LiveChart *shownChart() const;
    bool showsStoredRun() const;
    const ReadingLog &storedLog() const;
    // The journal every run is kept in (none when it could not be made), the
    // live run's id in it (0: none) and the history window, once opened.
    RunJournal *journal() const { return m_journal.get(); }
    qint64 journalRunId() const { return m_runId; }
    RunHistoryWindow *historyWindow() const;
    // A stored run of the journal shown in the chart, and back to the live run.
    void openStoredRun(qint64 id);
    void showLiveRun();
    ReadingLog &readingLog() { return m_log; }
    customcoordinates *customAxis() const { return m_custom; }
    QTableView *curveTable() const { return m_curveTable; }
    QTimer &chartTimer() { return m_chartTimer; }
    QTimer &dashboardTimer() { return m_dashboardTimer; }
    bool isEnglish() const { return m_english; }
    QTimer *upgradeTimer() const { return m_upgradeTimer; }
    const FirmwareTransfer &firmwareTransfer() const { return m_transfer; }
    // How the upgrade waits for the meter to enter its loader (blocking).
    void setLoaderWait(std::function<void(int ms)> wait) { m_loaderWait = std::move(wait); }
    // The clocks of the chart and the log, in ms: the wall clock (since the
    // epoch) for time stamps, and a steady one that never steps back for the
    // run's timeline. Without a steady clock the wall clock serves as both.
    void setClock(std::function<qint64()> clock, std::function<qint64()> steady = {});
    QList<DeviceInfoUI *> deviceEntries() const;
    const QList<QToolButton *> &homeButtons() const { return m_homeButtons; }
    // Measurement cursors, their statistics and the run's own statistics.
    QPushButton *measureButton() const;
    MeasureCursors *measureCursors() const;
    // The marks on the chart, "Mark" and "Export interval".
    MarkController *markController() const { return m_marks; }
    StatsPanel *statsPanel() const;
    const RunStats &runStats() const { return m_stats; }
    // Page six: the conditions that end a run by themselves.
    CapacityPage *capacityPage() const;
    // Why the last run ended by itself; empty otherwise.
    QString endReason() const { return m_endReason; }

public slots:
    // Once a second: every waiting report is read and decoded, then shown.
    void dashboardTick();
    // Once a second: the request frame to the meter and, during a run, one
    // record of the reading log and the chart's follow-up.
    void chartTick();

    void buttonClicked();

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

    // Firmware upgrade
    void on_upgrade_pushButton_openfile_clicked();
    void on_upgrade_pushButton_start_clicked();

    // Meter settings
    void on_settings_btn_CN_clicked();
    void on_settings_btn_EN_clicked();
    void on_settings_slider_worklight_valueChanged(int position);
    void on_settings_slider_standlight_valueChanged(int position);
    void on_settings_slider_standtime_valueChanged(int position);
    void on_settings_btn_style1_clicked();
    void on_settings_btn_style2_clicked();
    void on_settings_btn_style3_clicked();
    void on_settings_btn_clearcurrent_clicked();
    void on_settings_btn_factory_reset_clicked();
    void on_settings_btn_datazero_clicked();
    void on_settings_slider_voltcali_valueChanged(int value);
    void on_settings_slider_currcali_valueChanged(int value);
    void on_settings_slider_tempcali_valueChanged(int value);
    void on_settings_btn_0A_clicked();
    void on_settings_btn_10ma_clicked();
    void on_settings_btn_20ma_clicked();
    void on_settings_btn_G_open_clicked();
    void on_settings_btn_G_close_clicked();
    void on_settings_btn_CN_k4_clicked();
    void on_settings_btn_EN_k4_clicked();
    void on_settings_slider_worklight_k4_valueChanged(int position);
    void on_settings_btn_M_open_k4_clicked();
    void on_settings_btn_M_close_k4_clicked();
    void on_settings_btn_clearcurrent_k4_clicked();
    void on_settings_btn_datazero_k4_clicked();

    // Live chart
    void on_disp_btn_dp_dm_clicked();
    void on_disp_btn_cc1_cc2_clicked();
    void on_disp_btn_temp_clicked();
    void on_disp_btn_title_clicked();
    void on_disp_btn_RangCustom_clicked();
    void RangChang_slot();
    void onAct3Clicked_Slot();
    void onAct4Clicked_Slot();
    void onAct5Clicked_Slot();
    void onBtn_1_Slot() { chooseCurveColor(VBUS); }
    void onBtn_2_Slot() { chooseCurveColor(IBUS); }
    void onBtn_3_Slot() { chooseCurveColor(POWER); }
    void onBtn_4_Slot() { chooseCurveColor(PD); }
    void onBtn_5_Slot() { chooseCurveColor(PM); }
    void onBtn_6_Slot() { chooseCurveColor(CC1); }
    void onBtn_7_Slot() { chooseCurveColor(CC2); }
    void onBtn_8_Slot() { chooseCurveColor(CPU_Temp); }
    void onCBox_1_Slot(int linew) { chooseCurveWidth(VBUS, linew); }
    void onCBox_2_Slot(int linew) { chooseCurveWidth(IBUS, linew); }
    void onCBox_3_Slot(int linew) { chooseCurveWidth(POWER, linew); }
    void onCBox_4_Slot(int linew) { chooseCurveWidth(PD, linew); }
    void onCBox_5_Slot(int linew) { chooseCurveWidth(PM, linew); }
    void onCBox_6_Slot(int linew) { chooseCurveWidth(CC1, linew); }
    void onCBox_7_Slot(int linew) { chooseCurveWidth(CC2, linew); }
    void onCBox_8_Slot(int linew) { chooseCurveWidth(CPU_Temp, linew); }
    void onCBox_9_Slot(int index);
    void onBtn_close_Slot();
    // Data menu: the run history.
    void onRunHistory_Slot();

    void enumerateDevices();
    void refreshDeviceList();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    void initForm();
    void stopWorker();
    void goHome();
    void openUpgradePage(const QString &title);
    void openSettingsPage(const QString &title);
    void openPage(int index, QLabel *title, QPushButton *returnButton, const QString &text);
    void resetUpgradeProgress();
    void showReading();
    void showMeterSettings();
    void runStart();
    // A stop by disconnection may be resumed by the same meter's return.
    void runStop(bool resumable = false);
    void resumeRun();
    void showLanguage(bool english);
    void retranslateHomeButtons();
    void showAccessTip();
    void attachMenu(QPushButton *button, QMenu *menu, QPointer<QMenu> &current);
    void initChart();
    // The run's timeline now: the steady clock, counted from the wall clock's
    // time at the last anchoring (a run start, a new clock).
    qint64 chartNow() const { return m_anchorWallMs + (m_steadyClock() - m_anchorSteadyMs); }
    void anchorChartTime();
    // The default steady clock, in ms; it goes on while the computer sleeps.
    static qint64 steadyMsecs();
    void recordTick();
    // The run in the journal: begun with the run, every record written at the
    // tick that takes it, ended with its reason.
    void openJournal();
    void journalBegin();
    void journalSync();
    void journalEnd(const QString &reason);
    // The tip line's text about what the journal's size cap did since last asked.
    QString journalRetention();
    void exportCsv(const ReadingLog &log, const QString &model);
    void initHistory();
    // Measurement cursors and their panel (MeasureController).
    void initMeasure();
    // Page six and the stop conditions (CapacityController).
    void initCapacityPage();
    // A new run: its statistics and stop conditions start afresh.
    void runStatsStarted();
    // After a record: the statistics, the cursors' panel, the stop conditions.
    void runStatsRecorded();
    void showCapacityRun();
    void toggleCurveGroup(CurveGroup group);
    void chooseCurveColor(int channel);
    void chooseCurveWidth(int channel, int choice);
    static void selectButton(QPushButton *chosen, std::initializer_list<QPushButton *> group);
    static void waitBlocking(int ms);
    void applySettingRanges();
    void sendSetting(const char *name, const QString &value, bool compact);
    void sendValue(const char *name, int value, bool compact);
    void sendCalibration(const char *name, int value, QLabel *factor);
    void choose(QPushButton *chosen, std::initializer_list<QPushButton *> group, const char *name, const char *word,
                bool compact);
    void showUpgradeProgress(double percent);
    void endTransfer();
    bool transferRunning() const;
    // Whether a drag moves the window itself from the pointer at `global`.
    bool followsPointer(const QPoint &global);

    Ui::MainDialog *ui;
    unsigned short m_vid = kVendorId;
    unsigned short m_pid = kProductId;
    QString m_modelWord;
    QString m_serialPrefix;
    MeterPort m_port;
    unsigned char m_reportBuffer[64] = {};
    QTimer m_chartTimer;
    QTimer m_dashboardTimer;
    QTranslator *m_translator = nullptr;
    USBThread *m_worker = nullptr;
    QList<QToolButton *> m_homeButtons;

    // Device list: one entry per connection, with the serial it was opened by.
    bool m_haveMatchingSerial = false;
    std::wstring m_matchingSerial;
    QList<QPair<DeviceInfoUI *, std::wstring>> m_deviceEntries;

    bool m_plotting = false;
    unsigned char m_requestState = 1;
    // The meter whose run a disconnection stopped, to go on when it returns.
    bool m_runResumable = false;
    std::wstring m_runSerial;
    QString m_versionWord;

    // The journal of runs; a stored run shown in the chart instead of the live one.
    std::unique_ptr<RunJournal> m_journal;
    qint64 m_runId = 0;
    // Why the live run ends, when something else than the Run button ends it.
    QString m_endReason;
    QString m_journalTip;
    QString m_journalFault;
    RunHistoryController *m_history = nullptr;

    // Menus and language
    bool m_english = false;
    QPointer<QMenu> m_dataMenu;
    QPointer<QMenu> m_languageMenu;
    // The device node the meter could not be opened through, while it is so.
    QString m_deniedNode;

    // Live chart
    std::function<qint64()> m_clock;
    std::function<qint64()> m_steadyClock = &MainDialog::steadyMsecs;
    qint64 m_anchorWallMs = 0;
    qint64 m_anchorSteadyMs = 0;
    customcoordinates *m_custom = nullptr;
    ReadingLog m_log;
    std::unique_ptr<LiveChart> m_live;
    ChartView *m_view = nullptr;
    bool m_curveTableOpen = false;
    QPointer<QTableView> m_curveTable;

    // Measurement and runs that end by themselves
    RunStats m_stats;
    qint64 m_runStartMs = 0;       // on the run's timeline
    MeasureController *m_measure = nullptr;
    MarkController *m_marks = nullptr;
    CapacityController *m_capacity = nullptr;

    // Firmware upgrade
    FirmwareTransfer m_transfer;
    QTimer *m_upgradeTimer = nullptr;
    std::function<void(int ms)> m_loaderWait;
    bool m_upgradeStarting = false;   // between the start click and the handshake
    qint64 m_transferStartMs = 0;

    DispHeaderLayout m_dispLayout;

    // Frameless window: drag, edge resize, maximise toggle
    bool m_pressed = false;
    bool m_dragging = false;   // past the drag distance since the press
    QPoint m_pressPos;
    QPoint m_dragOffset;
    Frameless::Region m_region = Frameless::None;
    bool m_maximised = false;
    bool m_haveSavedGeometry = false;
    QRect m_savedGeometry;
};
