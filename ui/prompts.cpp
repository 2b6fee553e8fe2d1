#include "ui/prompts.h"

#include <QMessageBox>

namespace Prompts {

namespace {
WarningHandler &warningHandler()
{
    static WarningHandler handler;
    return handler;
}
} // namespace

void warning(QWidget *parent, const QString &title, const QString &text)
{
    if (warningHandler())
        warningHandler()(parent, title, text);
    else
        QMessageBox::warning(parent, title, text);
}

void setWarningHandler(WarningHandler handler)
{
    warningHandler() = std::move(handler);
}

} // namespace Prompts
