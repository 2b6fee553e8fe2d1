#include "ui/prompts.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace Prompts {

namespace {
template <typename Handler>
Handler &handler()
{
    static Handler h;
    return h;
}
} // namespace

void warning(QWidget *parent, const QString &title, const QString &text)
{
    if (const WarningHandler &h = handler<WarningHandler>())
        h(parent, title, text);
    else
        QMessageBox::warning(parent, title, text);
}

bool getText(QWidget *parent, const QString &title, const QString &label, QString &text)
{
    if (const TextHandler &h = handler<TextHandler>())
        return h(parent, title, label, text);
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
    if (ok)
        text = answer;
    return ok;
}

QColor getColor(QWidget *parent, const QColor &initial)
{
    if (const ColorHandler &h = handler<ColorHandler>())
        return h(parent, initial);
    return QColorDialog::getColor(initial, parent, QString());
}

QString getOpenFileName(QWidget *parent, const QString &title, const QString &dir, const QString &filter)
{
    if (const FileHandler &h = handler<FileHandler>())
        return h(parent, title, dir, filter);
    return QFileDialog::getOpenFileName(parent, title, dir, filter);
}

void setWarningHandler(WarningHandler h)
{
    handler<WarningHandler>() = std::move(h);
}

void setTextHandler(TextHandler h)
{
    handler<TextHandler>() = std::move(h);
}

void setColorHandler(ColorHandler h)
{
    handler<ColorHandler>() = std::move(h);
}

void setOpenFileHandler(FileHandler h)
{
    handler<FileHandler>() = std::move(h);
}

} // namespace Prompts
