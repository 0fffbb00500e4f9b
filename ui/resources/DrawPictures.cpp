// Draws the player's pictures once: the two logos (bitmaps 131 and 132) and the program
// icon (128), as 16-colour PNGs. The PNGs are kept in this folder; run again only to
// change the art:  mimlet-draw-pictures ui/resources

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The 16 colours every picture is reduced to.
QList<QRgb> Palette() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// A stylised face: an oval head, two eyes and an open mouth, in a w x h box at (x, y).
void DrawFace(QPainter& p, QRectF box, QColor skin, QColor features) {
    p.setPen(QPen(Qt::black, box.width() / 24.0));
    p.setBrush(skin);
    p.drawEllipse(box);
    const double w = box.width();
    const double h = box.height();
    p.setPen(Qt::NoPen);
    p.setBrush(features);
    p.drawEllipse(QRectF(box.x() + w * 0.25, box.y() + h * 0.32, w * 0.14, h * 0.14));
    p.drawEllipse(QRectF(box.x() + w * 0.61, box.y() + h * 0.32, w * 0.14, h * 0.14));
    QPainterPath mouth;
    mouth.moveTo(box.x() + w * 0.28, box.y() + h * 0.64);
    mouth.quadTo(box.x() + w * 0.5, box.y() + h * 0.9, box.x() + w * 0.72, box.y() + h * 0.64);
    mouth.closeSubpath();
    p.drawPath(mouth);
}

// Rising bars, as a level meter shows a sound.
void DrawBars(QPainter& p, QRectF box, int n, QColor colour) {
    const double step = box.width() / n;
    for (int i = 0; i < n; ++i) {
        const double level = 0.25 + 0.75 * ((i * 5) % n + 1) / n;
        p.fillRect(QRectF(box.x() + i * step + 1, box.bottom() - box.height() * level, step - 2,
                          box.height() * level),
                   colour);
    }
}

bool Save(const QImage& art, const QString& path) {
    const QImage reduced = art.convertToFormat(QImage::Format_Indexed8, Palette(),
                                               Qt::ThresholdDither | Qt::AvoidDither);
    if (!reduced.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage Canvas(int w, int h, QColor background) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QColor grey(192, 192, 192);

    // Bitmap 131, 110 x 56: a face beside a wave.
    QImage logo1 = Canvas(110, 56, grey);
    {
        QPainter p(&logo1);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 0, 110, 56), QColor(0, 0, 128));
        DrawFace(p, QRectF(6, 6, 40, 44), QColor(255, 255, 0), Qt::black);
        QPainterPath wave;
        wave.moveTo(52, 28);
        for (int x = 52; x <= 104; x += 4) {
            wave.lineTo(x, 28 + ((x / 4) % 2 ? -1 : 1) * (4 + (x - 52) / 4));
        }
        p.setPen(QPen(QColor(0, 255, 255), 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }

    // Bitmap 132, 81 x 53: three faces of shrinking size over level bars.
    QImage logo2 = Canvas(81, 53, grey);
    {
        QPainter p(&logo2);
        p.fillRect(QRect(0, 0, 81, 53), QColor(128, 0, 0));
        DrawBars(p, QRectF(2, 30, 77, 21), 11, QColor(0, 255, 0));
        DrawFace(p, QRectF(4, 3, 26, 26), QColor(255, 255, 255), Qt::black);
        DrawFace(p, QRectF(33, 7, 20, 20), QColor(255, 255, 0), Qt::black);
        DrawFace(p, QRectF(56, 11, 16, 16), QColor(0, 255, 255), Qt::black);
    }

    // Icon 128, 32 x 32: one face.
    QImage icon = Canvas(32, 32, grey);
    {
        QPainter p(&icon);
        p.fillRect(QRect(0, 0, 32, 32), QColor(0, 0, 128));
        DrawFace(p, QRectF(3, 2, 26, 28), QColor(255, 255, 0), QColor(128, 0, 0));
    }

    const bool ok = Save(logo1, folder + "/bitmap131.png") &&
                    Save(logo2, folder + "/bitmap132.png") && Save(icon, folder + "/icon128.png");
    return ok ? 0 : 1;
}
