#pragma once

#include <QFont>
#include <QObject>
#include <QPixmap>

class QAbstractButton;
class QLabel;

// Holder of the embedded icon font: puts its glyphs on labels and buttons and
// paints them into pixmaps. One per process, child of the application.
class IconHelper : public QObject
{
    Q_OBJECT
public:
    static IconHelper *instance();

    void setIcon(QLabel *label, QChar glyph, int pointSize = 10);
    void setIcon(QAbstractButton *button, QChar glyph, int pointSize = 10);
    QPixmap iconPixmap(const QString &colour, QChar glyph, int pointSize, int width, int height);

    // The font the glyphs come from (the application font if the icon font
    // could not be loaded).
    QFont iconFont() const { return m_font; }

private:
    explicit IconHelper(QObject *parent);

    QFont m_font;
};
