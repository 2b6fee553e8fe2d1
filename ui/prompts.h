#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every modal question or message of the program goes through here, so that
// tests can answer them instead of a person.
namespace Prompts {

using WarningHandler = std::function<void(QWidget *parent, const QString &title, const QString &text)>;

// A warning box with one OK button.
void warning(QWidget *parent, const QString &title, const QString &text);

// Replaces the real boxes (pass an empty function to restore them).
void setWarningHandler(WarningHandler handler);

} // namespace Prompts
