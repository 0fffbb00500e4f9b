#include "SampleTexture.h"

#include "SampleLayout.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cassert>
#include <map>
#include <unordered_map>

namespace {

// The colours and hair of one variant.
struct Look {
    QColor skin;
    QColor skinLight;
    QColor skinShadow;
    QColor hair;
    QColor hairLight;
    QColor hairDark;
    QColor iris;
    QColor lips;
    double hairlineY = 52; // the hairline's highest point above the forehead
    bool fringe = false;   // hair combed down over the forehead in a fringe
};

Look LookOf(int variant) {
    if (variant == 2) {
        return Look{QColor(152, 102, 70),
                    QColor(176, 124, 88),
                    QColor(100, 62, 40),
                    QColor(28, 26, 30),
                    QColor(70, 68, 78),
                    QColor(8, 8, 10),
                    QColor(92, 56, 28),
                    QColor(142, 66, 66),
                    62,
                    true};
    }
    return Look{QColor(236, 194, 160),
                QColor(250, 216, 188),
                QColor(192, 140, 110),
                QColor(126, 72, 34),
                QColor(176, 112, 58),
                QColor(74, 40, 18),
                QColor(64, 128, 192),
                QColor(200, 88, 96),
                52,
                false};
}

QColor WithAlpha(QColor color, int alpha) {
    color.setAlpha(alpha);
    return color;
}

QPolygonF EyeOutline(const EyeChains& eye) {
    QPolygonF outline;
    for (const LayoutPoint& p : eye.upper) {
        outline << QPointF(p.x, p.y);
    }
    for (int k = 3; k >= 1; --k) {
        outline << QPointF(eye.lower[k].x, eye.lower[k].y);
    }
    return outline;
}

void PaintSkin(QPainter& p, const Look& look) {
    // Light from the front: bright in the middle of the face, darker towards the outline.
    QRadialGradient light(QPointF(128, 130), 140, QPointF(120, 120));
    light.setColorAt(0.0, look.skinLight);
    light.setColorAt(0.55, look.skin);
    light.setColorAt(1.0, look.skinShadow);
    p.fillRect(QRectF(0, 0, 256, 256), light);

    // Cheeks.
    for (double x : {kLeftEyeCentreX - 4, kRightEyeCentreX + 4}) {
        QRadialGradient blush(QPointF(x, 166), 26);
        blush.setColorAt(0.0, WithAlpha(look.lips, 60));
        blush.setColorAt(1.0, WithAlpha(look.lips, 0));
        p.fillRect(QRectF(x - 30, 136, 60, 60), blush);
    }
    // The shadow under the lower lip and along the jaw line.
    QRadialGradient chin(QPointF(128, 214), 22);
    chin.setColorAt(0.0, WithAlpha(look.skinShadow, 70));
    chin.setColorAt(1.0, WithAlpha(look.skinShadow, 0));
    p.fillRect(QRectF(100, 196, 56, 40), chin);
}

void PaintNose(QPainter& p, const Look& look) {
    // Shadows down both sides of the bridge, a highlight on the tip, the wings and nostrils.
    p.setPen(QPen(WithAlpha(look.skinShadow, 90), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(117, 126), QPointF(114, 158));
    p.drawLine(QPointF(139, 126), QPointF(142, 158));
    QRadialGradient tip(QPointF(128, 156), 8);
    tip.setColorAt(0.0, WithAlpha(look.skinLight, 200));
    tip.setColorAt(1.0, WithAlpha(look.skinLight, 0));
    p.fillRect(QRectF(118, 146, 20, 20), tip);
    QPainterPath wings;
    wings.moveTo(112, 160);
    wings.cubicTo(108, 168, 114, 174, 122, 172);
    wings.moveTo(144, 160);
    wings.cubicTo(148, 168, 142, 174, 134, 172);
    p.setPen(QPen(look.skinShadow, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wings);
    p.setPen(Qt::NoPen);
    p.setBrush(look.skinShadow.darker(160));
    p.drawEllipse(QPointF(121, 169), 4.5, 2.5);
    p.drawEllipse(QPointF(135, 169), 4.5, 2.5);
}

void PaintEye(QPainter& p, const Look& look, double centreX, bool leftSide) {
    const EyeChains eye = EyeChainsAt(centreX);
    const QPolygonF outline = EyeOutline(eye);

    // A soft shade on the lid above the eye; this skin is what covers the eye when it closes,
    // stretched, so it carries no sharp lines that the stretching would bend.
    QRadialGradient lid(QPointF(centreX, kEyeCornerY - 6), 20);
    lid.setColorAt(0.0, WithAlpha(look.skinShadow, 90));
    lid.setColorAt(1.0, WithAlpha(look.skinShadow, 0));
    p.fillRect(QRectF(centreX - 26, kEyeCornerY - 28, 52, 34), lid);

    // The eyeball seen between the lids: white, iris, pupil and a highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(246, 242, 236));
    p.drawPolygon(outline);
    p.save();
    QPainterPath clip;
    clip.addPolygon(outline);
    p.setClipPath(clip);
    p.setBrush(look.iris.darker(150));
    p.drawEllipse(QPointF(centreX, kEyeCentreY), 8, 8);
    p.setBrush(look.iris);
    p.drawEllipse(QPointF(centreX, kEyeCentreY), 6.5, 6.5);
    p.setBrush(QColor(12, 10, 10));
    p.drawEllipse(QPointF(centreX, kEyeCentreY), 3.2, 3.2);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(centreX - 2.5, kEyeCentreY - 2.5), 1.6, 1.6);
    p.restore();

    // Lashes along the upper lid, a thin line along the lower one.
    QPolygonF upper;
    for (const LayoutPoint& q : eye.upper) {
        upper << QPointF(q.x, q.y);
    }
    QPolygonF lower;
    for (const LayoutPoint& q : eye.lower) {
        lower << QPointF(q.x, q.y);
    }
    p.setPen(QPen(look.hairDark, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(upper);
    p.setPen(QPen(WithAlpha(look.skinShadow, 200), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPolyline(lower);

    // The brow, thicker at the inner end.
    const double inner = leftSide ? 1 : -1; // towards the nose
    QPainterPath brow;
    // It stays above y = 96, where the skin that stretches over a closing eye begins.
    brow.moveTo(centreX - inner * 25, 93);
    brow.quadTo(centreX - inner * 6, 79, centreX + inner * 22, 87);
    brow.lineTo(centreX + inner * 22, 92);
    brow.quadTo(centreX - inner * 6, 85, centreX - inner * 25, 94);
    brow.closeSubpath();
    p.setPen(QPen(look.hairDark, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(look.hairDark);
    p.drawPath(brow);
}

void PaintMouth(QPainter& p, const Look& look) {
    const double l = kMouthChainX[0];
    const double r = kMouthChainX[4];
    QPolygonF gap;
    gap << QPointF(l, kMouthCornerY);
    for (int k = 1; k <= 3; ++k) {
        gap << QPointF(kMouthChainX[k], kMouthUpperY);
    }
    gap << QPointF(r, kMouthCornerY);
    for (int k = 3; k >= 1; --k) {
        gap << QPointF(kMouthChainX[k], kMouthLowerY);
    }

    QPainterPath upperLip;
    upperLip.moveTo(l, kMouthCornerY);
    upperLip.cubicTo(l + 8, 192, 108, 185, 119, 186);
    upperLip.quadTo(125, 186, 128, 189);
    upperLip.quadTo(131, 186, 137, 186);
    upperLip.cubicTo(148, 185, r - 8, 192, r, kMouthCornerY);
    upperLip.lineTo(128, kMouthUpperY);
    upperLip.closeSubpath();
    QPainterPath lowerLip;
    lowerLip.moveTo(l, kMouthCornerY);
    lowerLip.lineTo(128, kMouthLowerY);
    lowerLip.lineTo(r, kMouthCornerY);
    lowerLip.cubicTo(r - 6, 205, 140, 210, 128, 210);
    lowerLip.cubicTo(116, 210, l + 6, 205, l, kMouthCornerY);
    lowerLip.closeSubpath();

    p.setPen(QPen(look.lips.darker(120), 1.0));
    p.setBrush(look.lips.darker(110));
    p.drawPath(upperLip);
    p.setBrush(look.lips);
    p.drawPath(lowerLip);
    QRadialGradient shine(QPointF(128, 203), 9);
    shine.setColorAt(0.0, WithAlpha(look.lips.lighter(135), 180));
    shine.setColorAt(1.0, WithAlpha(look.lips.lighter(135), 0));
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(116, 198, 24, 10), shine);

    // Inside the mouth: teeth along the top of the gap, darkness below. Opening the mouth
    // stretches this gap over the open area.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(58, 16, 22));
    p.drawPolygon(gap);
    p.setBrush(QColor(236, 232, 220));
    p.drawRect(QRectF(l + 10, kMouthUpperY, r - l - 20, 1.2));
}

void PaintHair(QPainter& p, const Look& look) {
    const double top = look.hairlineY;
    QPainterPath hair;
    hair.moveTo(-4, -4);
    hair.lineTo(260, -4);
    hair.lineTo(260, 132);
    hair.lineTo(244, 126);
    hair.cubicTo(236, 100, 226, 76, 200, top + 8);
    if (look.fringe) {
        // A fringe cut in points above the brows.
        const double xs[] = {200, 184, 168, 152, 136, 120, 104, 88, 72, 56};
        for (int k = 1; k < 10; ++k) {
            hair.lineTo(xs[k] + 8, top + 18);
            hair.lineTo(xs[k], top + 6);
        }
    } else {
        hair.cubicTo(176, top - 2, 150, top - 6, 128, top - 2);
        hair.cubicTo(104, top + 2, 80, top - 2, 56, top + 8);
    }
    hair.cubicTo(30, 76, 20, 100, 12, 126);
    hair.lineTo(-4, 132);
    hair.closeSubpath();

    QLinearGradient shade(QPointF(0, 0), QPointF(0, 130));
    shade.setColorAt(0.0, look.hairLight);
    shade.setColorAt(0.5, look.hair);
    shade.setColorAt(1.0, look.hairDark);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawPath(hair);

    // Strands from the crown, clipped to the hair.
    p.save();
    p.setClipPath(hair);
    p.setPen(QPen(WithAlpha(look.hairDark, 150), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k <= 16; ++k) {
        const double endX = 8 + 15 * k;
        QPainterPath strand;
        strand.moveTo(128 + (endX - 128) * 0.1, 0);
        strand.quadTo(128 + (endX - 128) * 0.7, 30, endX, 130);
        p.drawPath(strand);
    }
    p.setPen(QPen(WithAlpha(look.hairLight, 140), 1.0, Qt::SolidLine, Qt::RoundCap));
    for (int k = 0; k < 16; ++k) {
        const double endX = 15 + 15 * k;
        QPainterPath strand;
        strand.moveTo(128 + (endX - 128) * 0.1, 4);
        strand.quadTo(128 + (endX - 128) * 0.6, 28, endX, 120);
        p.drawPath(strand);
    }
    p.restore();
}

struct ColourCount {
    QRgb rgb = 0;
    int count = 0;
};

int Channel(QRgb rgb, int channel) {
    return channel == 0 ? qRed(rgb) : channel == 1 ? qGreen(rgb) : qBlue(rgb);
}

} // namespace

QImage PaintSampleFace(int variant) {
    const Look look = LookOf(variant);
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(look.skin);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintSkin(p, look);
    PaintNose(p, look);
    PaintMouth(p, look);
    PaintEye(p, look, kLeftEyeCentreX, true);
    PaintEye(p, look, kRightEyeCentreX, false);
    PaintHair(p, look);
    p.end();
    return image;
}

SampleTexture QuantiseTexture(const QImage& source) {
    assert(source.width() == 256 && source.height() == 256);
    const QImage image = source.convertToFormat(QImage::Format_RGB32);

    // Every colour with its pixel count, in a fixed order.
    std::map<QRgb, int> histogram;
    for (int y = 0; y < 256; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < 256; ++x) {
            ++histogram[line[x] | 0xFF000000u];
        }
    }
    std::vector<ColourCount> colours;
    for (const auto& [rgb, count] : histogram) {
        colours.push_back({rgb, count});
    }

    // Median cut: split the box whose widest channel spread, weighted by its pixels, is
    // largest, at its pixel median along that channel, until there are 256 boxes or none
    // can be split.
    struct Box {
        size_t begin = 0;
        size_t end = 0;
    };
    std::vector<Box> boxes = {{0, colours.size()}};
    auto spread = [&](const Box& box, int channel) {
        int lo = 255;
        int hi = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            lo = std::min(lo, Channel(colours[i].rgb, channel));
            hi = std::max(hi, Channel(colours[i].rgb, channel));
        }
        return hi - lo;
    };
    while (boxes.size() < 256) {
        int best = -1;
        int bestChannel = 0;
        double bestScore = 0;
        for (size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) {
                continue;
            }
            long pixels = 0;
            for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) {
                pixels += colours[i].count;
            }
            for (int channel = 0; channel < 3; ++channel) {
                const double score = static_cast<double>(spread(boxes[b], channel)) * pixels;
                if (score > bestScore) {
                    best = static_cast<int>(b);
                    bestChannel = channel;
                    bestScore = score;
                }
            }
        }
        if (best < 0) {
            break;
        }
        Box& box = boxes[best];
        std::sort(colours.begin() + box.begin, colours.begin() + box.end,
                  [&](const ColourCount& a, const ColourCount& b) {
                      const int ca = Channel(a.rgb, bestChannel);
                      const int cb = Channel(b.rgb, bestChannel);
                      return ca != cb ? ca < cb : a.rgb < b.rgb;
                  });
        long total = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            total += colours[i].count;
        }
        size_t split = box.begin + 1;
        long below = colours[box.begin].count;
        while (split + 1 < box.end && 2 * below < total) {
            below += colours[split].count;
            ++split;
        }
        const Box upper = {split, box.end};
        box.end = split;
        boxes.push_back(upper);
    }

    SampleTexture texture;
    for (size_t b = 0; b < boxes.size(); ++b) {
        double sum[3] = {0, 0, 0};
        long pixels = 0;
        for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) {
            for (int channel = 0; channel < 3; ++channel) {
                sum[channel] +=
                    static_cast<double>(Channel(colours[i].rgb, channel)) * colours[i].count;
            }
            pixels += colours[i].count;
        }
        for (int channel = 0; channel < 3; ++channel) {
            texture.palette[b][channel] = static_cast<uint8_t>(std::lround(sum[channel] / pixels));
        }
    }

    // Each colour takes the nearest palette entry, the lowest-numbered one on a tie.
    std::unordered_map<QRgb, uint8_t> nearest;
    for (const ColourCount& colour : colours) {
        int bestIndex = 0;
        int bestDistance = 1 << 30;
        for (size_t k = 0; k < boxes.size(); ++k) {
            int distance = 0;
            for (int channel = 0; channel < 3; ++channel) {
                const int d = Channel(colour.rgb, channel) - texture.palette[k][channel];
                distance += d * d;
            }
            if (distance < bestDistance) {
                bestDistance = distance;
                bestIndex = static_cast<int>(k);
            }
        }
        nearest[colour.rgb] = static_cast<uint8_t>(bestIndex);
    }
    texture.pixels.resize(65536);
    for (int y = 0; y < 256; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < 256; ++x) {
            texture.pixels[y * 256 + x] = nearest.at(line[x] | 0xFF000000u);
        }
    }
    return texture;
}
