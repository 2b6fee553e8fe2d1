#include "base/appname.h"

#include <QCoreApplication>

namespace AppName {

void apply()
{
    QCoreApplication::setApplicationName(QStringLiteral("ombrel"));
    // No organisation: its name would become a folder of its own above the
    // data folder (~/.local/share/ORGANISATION/ombrel) and leave the runs
    // kept so far behind.
    QCoreApplication::setOrganizationName(QString());
}

} // namespace AppName
