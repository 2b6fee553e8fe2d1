#pragma once

#include <QColor>
#include <QString>

#include <functional>

class QWidget;

// Every modal question or message of the program goes through here, so that
// tests can answer them instead of a person.
namespace Prompts {

using WarningHandler = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
// Answers a text question: the text, or nothing when cancelled.
using TextHandler = std::function<bool(QWidget *parent, const QString &title, const QString &label, QString &text)>;
// Answers a colour question: an invalid colour when cancelled.
using ColorHandler = std::function<QColor(QWidget *parent, const QColor &initial)>;
// Answers a file question: the chosen path, or empty when cancelled.
using FileHandler = std::function<QString(QWidget *parent, const QString &title, const QString &dir,
                                          const QString &filter)>;

// A warning box with one OK button.
void warning(QWidget *parent, const QString &title, const QString &text);

// A line of text; `text` holds the initial text and, when accepted (true),
// the answer.
bool getText(QWidget *parent, const QString &title, const QString &label, QString &text);

// A colour, starting from `initial`; invalid when cancelled.
QColor getColor(QWidget *parent, const QColor &initial);

// The path of an existing file to open; empty when cancelled.
QString getOpenFileName(QWidget *parent, const QString &title, const QString &dir, const QString &filter);

// Replace the real dialogs (pass an empty function to restore them).
void setWarningHandler(WarningHandler handler);
void setTextHandler(TextHandler handler);
void setColorHandler(ColorHandler handler);
void setOpenFileHandler(FileHandler handler);

} // namespace Prompts
