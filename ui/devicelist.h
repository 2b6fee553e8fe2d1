#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <string>

class DeviceInfoUI;
class MeterPort;
class QTreeWidget;

// The device list: the meter attached, opened on the dialog's handle, shown
// as one entry per connection with the serial number it was opened by.
class DeviceList : public QObject
{
    Q_OBJECT
public:
    DeviceList(QTreeWidget *tree, MeterPort &port, unsigned short vid, unsigned short pid, QObject *parent);

    // Looks for the meter and opens it (an earlier connection's handle is
    // released); true when one is open and listed.
    bool refresh();
    // The meter went away: its entry says so.
    void showDisconnected();
    // Repaints the entries in the current language.
    void retranslate();

    QList<DeviceInfoUI *> entries() const;
    // The meter listed: its product string's words and serial number.
    QString modelWord() const { return m_modelWord; }
    QString versionWord() const { return m_versionWord; }
    QString serialPrefix() const { return m_serialPrefix; }
    QString serial() const { return QString::fromStdWString(m_matchingSerial); }

private:
    void enumerate();

    QTreeWidget *m_tree;
    MeterPort &m_port;
    unsigned short m_vid;
    unsigned short m_pid;
    bool m_haveMatchingSerial = false;
    std::wstring m_matchingSerial;
    QList<QPair<DeviceInfoUI *, std::wstring>> m_entries;
    QString m_modelWord;
    QString m_versionWord;
    QString m_serialPrefix;
};
