#pragma once

#include <QObject>
#include <QString>

#include <initializer_list>

class MeterPort;
class QLabel;
class QPushButton;
class QWidget;

// The two meter settings pages (the full one and the compact one): every
// control writes its command frame on the dialog handle (when it is open) and
// shows its own state at once. The settings, their values, ranges and frames
// come from the meter-settings table the command line's `set` uses too.
class MeterSettingsController : public QObject
{
    Q_OBJECT
public:
    // Wires the controls of the two pages; their ranges are the table's.
    MeterSettingsController(QWidget *fullPage, QWidget *compactPage, MeterPort &port, QObject *parent);

    // Shows `chosen` as the selected button of its group.
    static void selectButton(QPushButton *chosen, std::initializer_list<QPushButton *> group);

private:
    void applyRanges();
    void sendSetting(const char *name, const QString &value, bool compact);
    void sendCalibration(const char *name, int value, QLabel *factor);

    QWidget *m_full;
    QWidget *m_compact;
    MeterPort &m_port;
};
