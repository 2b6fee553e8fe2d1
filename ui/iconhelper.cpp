#include "ui/iconhelper.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QMutex>
#include <QPainter>

#include <atomic>

namespace {
std::atomic<IconHelper *> g_instance{nullptr};
QMutex g_instanceLock;
} // namespace

IconHelper *IconHelper::instance()
{
    IconHelper *helper = g_instance.load();
    if (!helper) {
        QMutexLocker lock(&g_instanceLock);
        helper = g_instance.load();
        if (!helper) {
            helper = new IconHelper(QCoreApplication::instance());
            g_instance.store(helper);
        }
    }
    return helper;
}

IconHelper::IconHelper(QObject *parent) : QObject(parent)
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/sys/rs/rs/font/fontawesome-webfont.ttf"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty())
        m_font = QFont(families.first());
    // The process-wide pointer must not outlive the object.
    connect(this, &QObject::destroyed, [] { g_instance.store(nullptr); });
}

void IconHelper::setIcon(QLabel *label, QChar glyph, int pointSize)
{
    m_font.setPointSize(pointSize);
    label->setFont(m_font);
    label->setText(glyph);
}

void IconHelper::setIcon(QAbstractButton *button, QChar glyph, int pointSize)
{
    m_font.setPointSize(pointSize);
    button->setFont(m_font);
    button->setText(glyph);
}

QPixmap IconHelper::iconPixmap(const QString &colour, QChar glyph, int pointSize, int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setPen(QColor(colour));
    painter.setBrush(QColor(colour));
    m_font.setPointSize(pointSize);
    painter.setFont(m_font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    painter.end();
    return pixmap;
}
