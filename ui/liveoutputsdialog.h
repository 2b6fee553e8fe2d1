#pragma once

#include <QDialog>

class LiveOutputs;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The window's "Live outputs" dialog: the MQTT broker with its credentials,
// topic prefix and Home Assistant discovery, the metrics endpoint's
// [ADDR:]PORT and the InfluxDB server, each with a status line that follows
// the output as it goes. OK and Apply keep the settings and attach the
// outputs to the window's run (LiveOutputs); a field cleared turns that
// output off. It never waits on the network. One for the window: open() shows it
// again with the settings in force.
class LiveOutputsDialog : public QDialog
{
    Q_OBJECT
public:
    static LiveOutputsDialog *open(LiveOutputs *outputs, QWidget *parent);

    // The field of an option (outputFields()), nullptr for one the dialog
    // does not show.
    QLineEdit *edit(const char *option) const;
    QCheckBox *discoveryBox() const { return m_discovery; }
    QLabel *mqttStatusLabel() const { return m_status[0]; }
    QLabel *metricsStatusLabel() const { return m_status[1]; }
    QLabel *influxStatusLabel() const { return m_status[2]; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *applyButton() const { return m_apply; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    LiveOutputsDialog(LiveOutputs *outputs, QWidget *parent);
    void showSettings();
    void showStatus();
    // Keeps and applies what the fields say; false when it could not (said).
    bool apply();

    LiveOutputs *m_outputs;
    QCheckBox *m_discovery = nullptr;
    QLabel *m_status[3];
    QPushButton *m_ok, *m_apply, *m_cancel;
};
