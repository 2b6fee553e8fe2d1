#pragma once

#include "charts/customranges.h"

#include <QWidget>

namespace Ui {
class customcoordinates;
}
class QLineEdit;
class QPushButton;

// The small window in which the user fixes, per channel, the range of the
// value axis that shows it, and switches each fixed range on or off: the
// ranges it is given (loaded by their owner), which it edits. Every change is
// saved at once; a change that may move a visible axis is announced by
// RangChang_signal().
class customcoordinates : public QWidget
{
    Q_OBJECT
public:
    explicit customcoordinates(CustomRanges &ranges, QWidget *parent = nullptr);
    ~customcoordinates() override;

    const CustomRanges &ranges() const { return m_ranges; }
    Ui::customcoordinates *form() const { return ui; }
    QLineEdit *minEdit(int channel) const { return m_minEdits[channel]; }
    QLineEdit *maxEdit(int channel) const { return m_maxEdits[channel]; }
    QPushButton *toggleButton(int channel) const { return m_toggles[channel]; }

signals:
    void RangChang_signal();

private slots:
    void on_btn_CLOS_SET_clicked();
    void on_edit_VBUS_Min_editingFinished() { boundEdited(VBUS, false); }
    void on_edit_VBUS_Max_editingFinished() { boundEdited(VBUS, true); }
    void on_edit_IBUS_Min_editingFinished() { boundEdited(IBUS, false); }
    void on_edit_IBUS_Max_editingFinished() { boundEdited(IBUS, true); }
    void on_edit_POWER_Min_editingFinished() { boundEdited(POWER, false); }
    void on_edit_POWER_Max_editingFinished() { boundEdited(POWER, true); }
    void on_edit_PD_Min_editingFinished() { boundEdited(PD, false); }
    void on_edit_PD_Max_editingFinished() { boundEdited(PD, true); }
    void on_edit_PM_Min_editingFinished() { boundEdited(PM, false); }
    void on_edit_PM_Max_editingFinished() { boundEdited(PM, true); }
    void on_edit_CC1_Min_editingFinished() { boundEdited(CC1, false); }
    void on_edit_CC1_Max_editingFinished() { boundEdited(CC1, true); }
    void on_edit_CC2_Min_editingFinished() { boundEdited(CC2, false); }
    void on_edit_CC2_Max_editingFinished() { boundEdited(CC2, true); }
    void on_edit_CPU_Min_editingFinished() { boundEdited(CPU_Temp, false); }
    void on_edit_CPU_Max_editingFinished() { boundEdited(CPU_Temp, true); }
    void on_btn_VBUS_clicked() { toggle(VBUS); }
    void on_btn_IBUS_clicked() { toggle(IBUS); }
    void on_btn_POWER_clicked() { toggle(POWER); }
    void on_btn_PD_clicked() { toggle(PD); }
    void on_btn_PM_clicked() { toggle(PM); }
    void on_btn_CC1_clicked() { toggle(CC1); }
    void on_btn_CC2_clicked() { toggle(CC2); }
    void on_btn_CPU_clicked() { toggle(CPU_Temp); }

protected:
    void changeEvent(QEvent *event) override;

private:
    void boundEdited(int channel, bool isMax);
    void toggle(int channel);
    void showToggle(int channel);

    Ui::customcoordinates *ui;
    CustomRanges &m_ranges;
    QLineEdit *m_minEdits[kChannelCount];
    QLineEdit *m_maxEdits[kChannelCount];
    QPushButton *m_toggles[kChannelCount];
};
