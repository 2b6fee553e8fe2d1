// Draws Ombrel's images: the style sheet's indicators and the window's icons
// and backgrounds. Run through scripts/make-artwork; the files it writes are
// committed under resources/.
//
// Usage: make_artwork <resources-dir> <icon-font.ttf>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

QString g_root;
QString g_iconFamily;
int g_written = 0;

QImage canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void save(const QImage &img, const QString &relative, const char *format = nullptr, int quality = -1)
{
    const QString path = g_root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!img.save(path, format, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    ++g_written;
}

void draw(QImage &img, const std::function<void(QPainter &)> &paint)
{
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    paint(p);
}

// A glyph of the icon font centred in a w x h image, optionally on a disc.
QImage glyph(ushort code, const QColor &colour, int w, int h, double fill = 0.8, const QColor &disc = QColor())
{
    QImage img = canvas(w, h);
    draw(img, [&](QPainter &p) {
        if (disc.isValid()) {
            p.setPen(Qt::NoPen);
            p.setBrush(disc);
            const int d = qMin(w, h) - 2;
            p.drawEllipse(QRectF((w - d) / 2.0, (h - d) / 2.0, d, d));
        }
        QFont f(g_iconFamily);
        f.setPixelSize(int(qMin(w, h) * fill));
        p.setFont(f);
        p.setPen(colour);
        p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString(QChar(code)));
    });
    return img;
}

void indicators()
{
    const QColor accent(0x00, 0xBB, 0x9E);
    const QColor edge(0x24, 0x24, 0x24);
    const QColor face(0x60, 0x60, 0x60);
    const QColor faded(0x48, 0x48, 0x48);
    struct Look {
        const char *suffix;
        QColor mark, border, back;
    };
    const Look looks[2] = {{"", accent, edge, face}, {"_disable", QColor(0x78, 0x78, 0x78), faded, QColor(0x50, 0x50, 0x50)}};

    for (const Look &l : looks) {
        for (int checked = 0; checked < 2; ++checked) {
            QImage radio = canvas(15, 15);
            draw(radio, [&](QPainter &p) {
                p.setPen(QPen(l.border, 1));
                p.setBrush(l.back);
                p.drawEllipse(QRectF(0.5, 0.5, 14, 14));
                if (checked) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(l.mark);
                    p.drawEllipse(QRectF(4, 4, 7, 7));
                }
            });
            save(radio, QStringLiteral("qss/psblack/radiobutton_%1%2.png")
                            .arg(checked ? "checked" : "unchecked", l.suffix));
        }
        for (int state = 0; state < 3; ++state) {   // unchecked, checked, partly
            QImage box = canvas(15, 15);
            draw(box, [&](QPainter &p) {
                p.setPen(QPen(l.border, 1));
                p.setBrush(l.back);
                p.drawRoundedRect(QRectF(0.5, 0.5, 14, 14), 2, 2);
                if (state == 1) {
                    p.setPen(QPen(l.mark, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                    p.drawPolyline(QPolygonF({QPointF(3.5, 7.5), QPointF(6.5, 10.5), QPointF(11.5, 4.5)}));
                } else if (state == 2) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(l.mark);
                    p.drawRect(QRectF(4, 4, 7, 7));
                }
            });
            static const char *names[3] = {"unchecked", "checked", "parcial"};
            save(box, QStringLiteral("qss/psblack/checkbox_%1%2.png").arg(names[state], l.suffix));
        }
    }

    // Small arrows for spin boxes and drop-downs.
    struct Arrow {
        const char *name;
        double angle;
    };
    for (const Arrow &a : {Arrow{"add_top", 0}, Arrow{"add_right", 90}, Arrow{"add_bottom", 180}, Arrow{"add_left", 270}}) {
        QImage img = canvas(10, 10);
        draw(img, [&](QPainter &p) {
            p.translate(5, 5);
            p.rotate(a.angle);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xDC, 0xDC, 0xDC));
            p.drawPolygon(QPolygonF({QPointF(0, -3), QPointF(4, 2), QPointF(-4, 2)}));
        });
        save(img, QStringLiteral("qss/psblack/%1.png").arg(a.name));
    }
    for (int open = 0; open < 2; ++open) {
        QImage img = canvas(10, 10);
        draw(img, [&](QPainter &p) {
            p.translate(5, 5);
            p.rotate(open ? 180 : 90);
            p.setPen(Qt::NoPen);
            p.setBrush(accent);
            p.drawPolygon(QPolygonF({QPointF(0, -3), QPointF(4, 2), QPointF(-4, 2)}));
        });
        save(img, QStringLiteral("qss/psblack/branch_%1.png").arg(open ? "open" : "close"));
    }
    save(glyph(0xF104, QColor(0xDC, 0xDC, 0xDC), 16, 16, 0.9), QStringLiteral("qss/psblack/calendar_prevmonth.png"));
    save(glyph(0xF105, QColor(0xDC, 0xDC, 0xDC), 16, 16, 0.9), QStringLiteral("qss/psblack/calendar_nextmonth.png"));
}

// The program's word mark, in a 130 x 20 strip.
QImage wordmark(const QColor &left, const QColor &right)
{
    QImage img = canvas(130, 20);
    draw(img, [&](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(left);
        p.drawEllipse(QRectF(2, 3, 14, 14));
        p.setBrush(right);
        p.drawPie(QRectF(2, 3, 14, 14), 90 * 16, 180 * 16);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(14);
        f.setBold(true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        p.setFont(f);
        p.setPen(QColor(0xF0, 0xF0, 0xF0));
        p.drawText(QRect(22, 0, 108, 20), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("OMBREL"));
    });
    return img;
}

void windowArt()
{
    // Outer frame of the main window: a dark rounded panel with a soft rim.
    QImage back = canvas(240, 180);
    draw(back, [](QPainter &p) {
        QLinearGradient g(0, 0, 0, 180);
        g.setColorAt(0, QColor(0x5A, 0x5A, 0x5A));
        g.setColorAt(1, QColor(0x3A, 0x3A, 0x3A));
        p.setPen(QPen(QColor(0x2A, 0x2A, 0x2A), 2));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1, 1, 238, 178), 10, 10);
    });
    save(back, QStringLiteral("sys/rs/rs/back.png"));

    // Display area: a dark field with a faint measuring grid.
    QImage main(990, 830, QImage::Format_RGB32);
    draw(main, [](QPainter &p) {
        QRadialGradient g(495, 300, 700);
        g.setColorAt(0, QColor(0x4C, 0x4C, 0x4C));
        g.setColorAt(1, QColor(0x3A, 0x3A, 0x3A));
        p.fillRect(QRect(0, 0, 990, 830), g);
        p.setPen(QPen(QColor(255, 255, 255, 10), 1));
        for (int x = 0; x < 990; x += 30)
            p.drawLine(x, 0, x, 830);
        for (int y = 0; y < 830; y += 30)
            p.drawLine(0, y, 990, y);
    });
    save(main, QStringLiteral("sys/rs/rs/main.jpg"), "JPG", 85);

    save(glyph(0xF07B, QColor(0xF0, 0xC0, 0x40), 32, 32, 0.85), QStringLiteral("sys/rs/rs/folder.ico"), "ICO");

    save(wordmark(QColor(0x00, 0xBB, 0x9E), QColor(0xF0, 0xA0, 0x20)), QStringLiteral("sys/rs/rs/icon01_130x20.png"));
    save(wordmark(QColor(0x33, 0x7F, 0xD1), QColor(0xF0, 0xA0, 0x20)), QStringLiteral("sys/rs/rs/icon_130x20.png"));
    save(wordmark(QColor(0x16, 0xA0, 0x85), QColor(0xC0, 0x39, 0x2B)), QStringLiteral("sys/rs/rs/icon02_130x20.png"));
    save(wordmark(QColor(0x9B, 0x59, 0xBB), QColor(0x34, 0x49, 0x5E)), QStringLiteral("sys/rs/rs/icon03_130x20.png"));
}

void icons()
{
    const QColor white(0xF4, 0xF4, 0xF4);
    save(glyph(0xF0C9, white, 200, 200, 0.7), QStringLiteral("sys/rs/rs/menu.png"));
    save(glyph(0xF03A, QColor(0x00, 0xBB, 0x9E), 20, 20, 0.8), QStringLiteral("sys/rs/rs/list_20x20.png"));
    save(glyph(0xF04B, white, 64, 64, 0.45, QColor(0x1E, 0x9E, 0x3C)), QStringLiteral("sys/rs/rs/run.png"));
    save(glyph(0xF04C, white, 64, 64, 0.45, QColor(0xD9, 0x7A, 0x00)), QStringLiteral("sys/rs/rs/pause.png"));
    save(glyph(0xF287, white, 64, 64, 0.6, QColor(0x10, 0x9D, 0x38)), QStringLiteral("sys/rs/rs/usb_connect.png"));

    QImage off = glyph(0xF287, QColor(0xB0, 0xB0, 0xB0), 64, 64, 0.6, QColor(0x55, 0x55, 0x55));
    draw(off, [](QPainter &p) {
        p.setPen(QPen(QColor(0xE6, 0x00, 0x00), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 50), QPointF(50, 14));
    });
    save(off, QStringLiteral("sys/rs/rs/usb_disconnect.png"));

    save(glyph(0xF019, white, 64, 64, 0.55, QColor(0x15, 0x70, 0xA5)), QStringLiteral("sys/rs/rs/download.png"));
    save(glyph(0xF0EE, white, 64, 64, 0.55, QColor(0x15, 0x70, 0xA5)), QStringLiteral("sys/rs/rs/Upgrade.png"));
    save(glyph(0xF013, white, 64, 64, 0.6, QColor(0x16, 0xA0, 0x85)), QStringLiteral("sys/rs/rs/SysSet.png"));
    save(glyph(0xF062, QColor(0xFF, 0xFF, 0xFF), 35, 35, 0.8), QStringLiteral("sys/rs/rs/up.png"));
    save(glyph(0xF063, QColor(0xFF, 0xD9, 0x19), 35, 35, 0.8), QStringLiteral("sys/rs/rs/down.png"));
    save(glyph(0xF1C3, QColor(0x2E, 0xA0, 0x4A), 100, 100, 0.8), QStringLiteral("sys/rs/rs/ExportData.png"));
    save(glyph(0xF1C5, QColor(0x33, 0x7F, 0xD1), 100, 100, 0.8), QStringLiteral("sys/rs/rs/ExportImage.png"));
    save(glyph(0xF1DE, QColor(0xDC, 0xDC, 0xDC), 100, 100, 0.8), QStringLiteral("sys/rs/rs/MoreSettings.png"));
    save(glyph(0xF1FE, QColor(0xF0, 0xA0, 0x20), 100, 100, 0.8), QStringLiteral("sys/rs/rs/AccuGrpDisp.png"));
    save(glyph(0xF201, QColor(0x00, 0xBB, 0x9E), 100, 100, 0.8), QStringLiteral("sys/rs/rs/ScrollDisp.png"));
    save(glyph(0xF1AB, QColor(0xDC, 0xDC, 0xDC), 100, 100, 0.8), QStringLiteral("sys/rs/rs/cn_en.png"));
}

// The application's icon, the same drawing as resources/icons/ombrel.svg:
// a dark tile with a green rim, an orange gauge and a white needle.
void appIcon()
{
    QImage img = canvas(128, 128);
    draw(img, [](QPainter &p) {
        p.setPen(QPen(QColor(0x16, 0xA0, 0x85), 4));
        p.setBrush(QColor(0x2B, 0x2B, 0x2B));
        p.drawRoundedRect(QRectF(8, 8, 112, 112), 22, 22);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0xF3, 0x9C, 0x12), 8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(24, 32, 80, 80), 210 * 16, -240 * 16);
        p.setPen(QPen(QColor(0xEC, 0xF0, 0xF1), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(64, 72), QPointF(88, 48));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xEC, 0xF0, 0xF1));
        p.drawEllipse(QPointF(64, 72), 7, 7);
    });
    save(img, QStringLiteral("icons/ombrel-128.png"));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_artwork <resources-dir> <icon-font.ttf>\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[2]));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        std::fprintf(stderr, "cannot load the icon font %s\n", argv[2]);
        return 1;
    }
    g_iconFamily = families.first();
    indicators();
    windowArt();
    icons();
    appIcon();
    std::printf("%d images written under %s\n", g_written, qPrintable(g_root));
    return 0;
}
