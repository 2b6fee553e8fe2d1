#include "ui/prompts.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

namespace Prompts {

namespace {
// One handler of each kind; Tag tells apart kinds of the same type.
template <typename Handler, int Tag = 0>
Handler &handler()
{
    static Handler h;
    return h;
}
enum { Information = 1, SaveFile = 1 };
} // namespace

void information(QWidget *parent, const QString &title, const QString &text)
{
    if (const WarningHandler &h = handler<WarningHandler, Information>())
        h(parent, title, text);
    else
        QMessageBox::information(parent, title, text);
}

QString getSaveFileName(QWidget *parent, const QString &title, const QString &dir, const QString &filter,
                        bool confirmOverwrite)
{
    if (const FileHandler &h = handler<FileHandler, SaveFile>())
        return h(parent, title, dir, filter);
    return QFileDialog::getSaveFileName(parent, title, dir, filter, nullptr,
                                        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
}

void popupMenu(QMenu *menu, const QPoint &at)
{
    if (const MenuHandler &h = handler<MenuHandler>())
        h(menu, at);
    else
        menu->exec(at);
}

void warning(QWidget *parent, const QString &title, const QString &text)
{
    if (const WarningHandler &h = handler<WarningHandler>())
        h(parent, title, text);
    else
        QMessageBox::warning(parent, title, text);
}

bool question(QWidget *parent, const QString &title, const QString &text)
{
    if (const QuestionHandler &h = handler<QuestionHandler>())
        return h(parent, title, text);
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
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

void setInformationHandler(WarningHandler h)
{
    handler<WarningHandler, Information>() = std::move(h);
}

void setSaveFileHandler(FileHandler h)
{
    handler<FileHandler, SaveFile>() = std::move(h);
}

void setMenuHandler(MenuHandler h)
{
    handler<MenuHandler>() = std::move(h);
}

void setQuestionHandler(QuestionHandler h)
{
    handler<QuestionHandler>() = std::move(h);
}

} // namespace Prompts
