#pragma once

#include <QWidget>

namespace Ui {
class DeviceInfoUI;
}

// One entry of the device list: model, version, type (manufacturer), serial
// prefix and the connection state shown by colour and text.
class DeviceInfoUI : public QWidget
{
    Q_OBJECT
public:
    enum State : unsigned char { Idle = 0, Error = 1, Connect = 2 };

    explicit DeviceInfoUI(QWidget *parent = nullptr);
    ~DeviceInfoUI() override;

    void setModel(const QString &model);
    void setType(const QString &type);
    void setSerial(const QString &serial);
    void setVersion(const QString &version);
    // Shows state 0, 1 or 2; any other value changes nothing.
    void setState(unsigned char state);

    // The state the caller stored before calling setState.
    unsigned char state = 0;

    Ui::DeviceInfoUI *form() const { return ui; }

protected:
    // The captions follow the language; the values stay.
    void changeEvent(QEvent *event) override;

private:
    Ui::DeviceInfoUI *ui;
};
