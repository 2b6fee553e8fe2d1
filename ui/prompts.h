#pragma once

#include <QColor>
#include <QPoint>
#include <QString>

#include <functional>

class QMenu;
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
// Runs a pop-up menu (and triggers what the user chose).
using MenuHandler = std::function<void(QMenu *menu, const QPoint &at)>;

// A warning box with one OK button.
void warning(QWidget *parent, const QString &title, const QString &text);

// An information box with one OK button.
void information(QWidget *parent, const QString &title, const QString &text);

// A yes-or-no question; true for yes.
using QuestionHandler = std::function<bool(QWidget *parent, const QString &title, const QString &text)>;
bool question(QWidget *parent, const QString &title, const QString &text);

// A line of text; `text` holds the initial text and, when accepted (true),
// the answer.
bool getText(QWidget *parent, const QString &title, const QString &label, QString &text);

// A colour, starting from `initial`; invalid when cancelled.
QColor getColor(QWidget *parent, const QColor &initial);

// The path of an existing file to open; empty when cancelled.
QString getOpenFileName(QWidget *parent, const QString &title, const QString &dir, const QString &filter);

// A path to save to; empty when cancelled. Without confirmOverwrite an
// existing file is taken without asking (it will be appended to).
QString getSaveFileName(QWidget *parent, const QString &title, const QString &dir, const QString &filter,
                        bool confirmOverwrite = true);

// Pops up a menu at a screen position until the user has chosen.
void popupMenu(QMenu *menu, const QPoint &at);

// Replace the real dialogs (pass an empty function to restore them).
void setWarningHandler(WarningHandler handler);
void setTextHandler(TextHandler handler);
void setColorHandler(ColorHandler handler);
void setOpenFileHandler(FileHandler handler);
void setInformationHandler(WarningHandler handler);
void setSaveFileHandler(FileHandler handler);
void setMenuHandler(MenuHandler handler);
void setQuestionHandler(QuestionHandler handler);

} // namespace Prompts
