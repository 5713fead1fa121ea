#include "virtualports.h"

#include <QStandardPaths>

QString virtualPortDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + QStringLiteral("/kelvaset/ports");
}
