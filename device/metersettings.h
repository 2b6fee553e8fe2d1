#pragma once

#include "device/meterreading.h"

class MeterPort;

#include <QByteArray>
#include <QList>
#include <QString>

// The meter's own settings by name, as the settings pages change them: each
// entry knows the values it takes and the command frame (commandframe.h) a
// value is sent as, so the command line and the window send the same bytes.
namespace MeterSettings {

enum class Kind {
    Choice,        // one word of a fixed set, each with its own code
    Level,         // a whole number in a range, sent as a byte frame
    Calibration,   // a factor 0.500 .. 2.000, sent as a float frame
    Action,        // no value: one short frame
};

// Which settings page has the setting.
enum Pages { FullPage = 1, CompactPage = 2, BothPages = 3 };

struct Choice {
    const char *word;
    unsigned char code;
};

struct Setting {
    const char *name;   // "brightness"
    Kind kind;
    int pages;
    const char *help;
    unsigned char code = 0;               // Level, Calibration, Action
    QList<Choice> choices = {};           // Choice
    int minimum = 0, maximum = 0;         // Level on the full page
    int compactMinimum = 0, compactMaximum = 0;   // Level on the compact page
};

// Every setting, in the order the pages show them.
const QList<Setting> &table();
const Setting *find(const QString &name);

// The value's description for help texts: "zh|en", "1..9 (10..100 compact)",
// "0.500..2.000".
QString valueSyntax(const Setting &setting);

// The frame that sets `value` (ignored for an action) on a meter of the full
// or compact family; an empty frame, with the reason in `error`, when the
// value is out of range or the page has no such setting.
QByteArray frame(const Setting &setting, const QString &value, bool compact, QString *error);

// The settings a settings report carried, by the names of the table, with
// values as the table takes them ("en", "5", "1.000", "10" mA, "on").
QList<QPair<QString, QString>> reported(const MeterReading &reading);

// On an open meter, as the window's settings page does: the page entered,
// the meter's settings report read (within 3 s), the page left. False with
// the reason in `error`.
bool read(MeterPort &port, MeterReading *reading, QString *error);
// The frames written in order between entering and leaving the page, a
// short pause after each as a hand would leave. False with the reason.
bool write(MeterPort &port, const QList<QByteArray> &frames, QString *error);

} // namespace MeterSettings
