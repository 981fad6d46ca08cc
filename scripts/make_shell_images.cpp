// Draws the shell's images (application icon at six sizes, the expander
// arrows, the About dialog's partner logos) into resources/. Run through
// scripts/make_shell_images.sh; the PNGs are committed, so the build does not
// need this program.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

namespace {

bool save(const QImage& image, const QString& path) {
    const bool ok = image.save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Rounded dark-blue tile with three clusters of points and a quill stroke.
QImage appIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QRectF tile(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, QColor(28, 58, 112));
    g.setColorAt(1, QColor(12, 24, 52));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, s * 0.18, s * 0.18);

    QRandomGenerator rng(7);
    struct Cluster {
        double x, y, r;
        QColor c;
    } clusters[] = {{0.34, 0.36, 0.11, QColor(250, 170, 60)},
                    {0.66, 0.42, 0.09, QColor(90, 200, 250)},
                    {0.44, 0.68, 0.10, QColor(120, 230, 140)}};
    const double dot = std::max(1.0, s * 0.022);
    for (const Cluster& c : clusters) {
        p.setBrush(c.c);
        for (int i = 0; i < 40; ++i) {
            const double a = rng.generateDouble() * 2 * M_PI;
            const double r = std::sqrt(rng.generateDouble()) * c.r * s;
            p.drawEllipse(QPointF(c.x * s + r * std::cos(a), c.y * s + r * std::sin(a)), dot, dot);
        }
    }
    QPainterPath quill;
    quill.moveTo(s * 0.22, s * 0.84);
    quill.cubicTo(s * 0.45, s * 0.62, s * 0.62, s * 0.40, s * 0.82, s * 0.16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(240, 240, 250), std::max(1.0, s * 0.03), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(quill);
    return image;
}

// A small grey triangle: pointing right (collapsed) or down (expanded).
QImage arrow(bool down) {
    const int s = 40;
    QImage image(s, s, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 90, 90));
    QPolygonF t;
    if (down)
        t << QPointF(4, 10) << QPointF(36, 10) << QPointF(20, 32);
    else
        t << QPointF(10, 4) << QPointF(32, 20) << QPointF(10, 36);
    p.drawPolygon(t);
    return image;
}

// A word mark with a coloured bar, `w` by `h` pixels at scale `k`.
QImage wordMark(const QString& text, int w, int h, int k, QColor colour) {
    QImage image(w * k, h * k, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0, h * k * 0.78, w * k, h * k * 0.12), 2 * k, 2 * k);
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(static_cast<int>(h * k * 0.36));
    p.setFont(f);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRectF(0, 0, w * k, h * k * 0.74), Qt::AlignCenter, text);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RESOURCES_DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int size : {32, 64, 128, 256, 512, 1024})
        ok &= save(appIcon(size), dir.filePath(QString("Icons/AppIcon%1.png").arg(size)));
    ok &= save(arrow(false), dir.filePath("Icons/openArrowDrop.png"));
    ok &= save(arrow(true), dir.filePath("Icons/closeArrowDrop.png"));
    const struct {
        const char* name;
        const char* text;
        int w;
        QColor colour;
    } logos[] = {{"orvoLogo", "ORVO", 50, QColor(200, 60, 60)},
                 {"kaLogo", "KARVELL", 129, QColor(40, 110, 190)},
                 {"pelLogo", "PEL", 77, QColor(60, 160, 90)}};
    for (const auto& l : logos) {
        ok &= save(wordMark(l.text, l.w, 50, 1, l.colour), dir.filePath(QString("About/%1.png").arg(l.name)));
        ok &= save(wordMark(l.text, l.w, 50, 2, l.colour), dir.filePath(QString("About/%1@2x.png").arg(l.name)));
    }
    return ok ? 0 : 1;
}
