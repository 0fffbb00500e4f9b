#pragma once
// Dialog units to pixels with the classic 8-point dialog base units (6 x 13 pixels per
// 4 x 8 units), each value rounded to the nearest pixel, halves up.

#include <QRect>

namespace ui {

constexpr int DluToPixelsX(int nDlu) {
    return (nDlu * 6 + 2) / 4;
} // x px = dlu * 6 / 4
constexpr int DluToPixelsY(int nDlu) {
    return (nDlu * 13 + 4) / 8;
} // y px = dlu * 13 / 8

// A template rectangle (x, y, width, height in dialog units) in pixels.
constexpr QRect DialogRect(int x, int y, int nWidth, int nHeight) {
    return QRect(DluToPixelsX(x), DluToPixelsY(y), DluToPixelsX(nWidth), DluToPixelsY(nHeight));
}

static_assert(DluToPixelsX(212) == 318 && DluToPixelsY(231) == 375, "main dialog size");
static_assert(DluToPixelsX(200) == 300 && DluToPixelsY(145) == 236, "display panel size");

} // namespace ui
