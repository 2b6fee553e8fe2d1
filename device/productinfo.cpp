#include "device/productinfo.h"

#include <QStringList>

ProductInfo parseProductString(const QString &product)
{
    const QStringList words = product.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    ProductInfo info;
    info.modelWord = words.value(1);
    info.versionWord = words.value(2);
    return info;
}

QString serialPrefix(const QString &serial)
{
    return serial.left(6);
}

bool isCompactFamily(const QString &modelWord)
{
    static const QStringList family = {QStringLiteral("K4"), QStringLiteral("K4R"), QStringLiteral("N70"),
                                       QStringLiteral("M512"), QStringLiteral("W2R"), QStringLiteral("QM512R")};
    return family.contains(modelWord, Qt::CaseSensitive);
}

std::optional<bool> motorGroupVisible(const QString &modelWord)
{
    if (!isCompactFamily(modelWord))
        return std::nullopt;
    return modelWord != QLatin1String("N70") && modelWord != QLatin1String("M512");
}
