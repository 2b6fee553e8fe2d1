#pragma once

#include "device/meterport.h"
#include "ui/dispheaderlayout.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QTimer>

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

// The application's window and hub: it owns the meter link (worker thread
// and the dialog's own handle), the pages and their navigation, the device
// list and the live readings.
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
    QList<DeviceInfoUI *> deviceEntries() const;
    const QList<QToolButton *> &homeButtons() const { return m_homeButtons; }

public slots:
    // Once a second: every waiting report is read and decoded, then shown.
    void dashboardTick();
    // Once a second: the request frame to the meter.
    void chartTick();

    void buttonClicked();

    void usbconnect(QString dev_str);
    void usbdisconnect();
    void usbsenderror();

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

    void enumerateDevices();
    void refreshDeviceList();

protected:
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
    void runStop();

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

    DispHeaderLayout m_dispLayout;
};
