#pragma once
// The drawing pipeline of the engine, one function per stage:
//   transformVertices  model coordinates -> camera (view) coordinates
//   clipTriangle       cut a triangle to the depth range and a guard band around the view
//   projectVertex      view coordinates -> pixel coordinates, depth and texture terms
//   setupTriangle      snap to fixed point, cull back faces, build the edge functions
//   scanTriangle       walk the covered pixels row by row (pixel centres, top-left rule)
//   drawTriangle       the above two with depth test and texturing into a RenderTarget
// Screen coordinates run x right and y down from the top-left corner of the device; a pixel
// (x, y) is sampled at its centre (x + 0.5, y + 0.5).

#include "engine/RetainedMode.h"
#include "engine/Transform.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace rm {

// A device's pixels: colour 0xAARRGGBB and depth (smaller is nearer), `width` per row.
struct RenderTarget {
    uint32_t* color = nullptr;
    float* depth = nullptr;
    int width = 0;
    int height = 0;
};

// A rectangle of pixels, end exclusive.
struct PixelRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};

// How a viewport maps view coordinates to pixels.
struct Projection {
    bool perspective = false;
    float scale = 1;   // pixels per view unit (orthographic) or per unit of x/z (perspective)
    float centreX = 0; // pixel coordinates of the view axis
    float centreY = 0;
    float front = 1; // drawn depth range along the camera's +z, front < back
    float back = 100;
};

struct ViewVertex {
    Vector p; // camera coordinates
    float u = 0;
    float v = 0;
};

struct ScreenVertex {
    float x = 0;     // pixels
    float y = 0;     // pixels
    float depth = 0; // view z (orthographic) or -1/z (perspective): both linear on the screen
    float q = 1;     // 1 (orthographic) or 1/z (perspective)
    float uq = 0;    // u * q
    float vq = 0;    // v * q
};

// An 8-bit palette texture as the sampler reads it; `palette` holds 256 ready colours.
struct TextureSampler {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row; row 0 is the top of the image (v = 0)
    const uint32_t* palette = nullptr;
};

// What a triangle is filled with: the texture if there is one, else a flat colour.
struct TriangleFill {
    const TextureSampler* texture = nullptr;
    Color color = 0xFFFFFFFF;
};

// Fixed-point screen coordinates: 8 fractional bits (1/256 pixel).
constexpr int kSubpixelBits = 8;
constexpr int kSubpixelOne = 1 << kSubpixelBits;

// A polygon after clipping: a triangle gains at most one vertex per clip plane.
constexpr int kClipPlaneCount = 6;
constexpr int kMaxClippedVertices = 3 + kClipPlaneCount;
using ClippedPolygon = std::array<ViewVertex, kMaxClippedVertices>;

// Pixels further than this from the view axis are cut off geometrically, which keeps the
// fixed-point edge functions far from overflow (32768 * 256 = 2^23; products stay < 2^48).
constexpr float kGuardBand = 32768.0f;

// Transforms n vertices into camera coordinates. Returns false if any came out non-finite.
bool transformVertices(const Transform& modelView, const Vertex* in, size_t n, ViewVertex* out);

// Cuts the triangle to front <= z <= back and to the guard band. Returns the vertex count of
// the convex polygon that remains (0 when nothing does), written to `out` in the same order.
int clipTriangle(const ViewVertex& a, const ViewVertex& b, const ViewVertex& c,
                 const Projection& projection, ClippedPolygon& out);

ScreenVertex projectVertex(const ViewVertex& v, const Projection& projection);

// A triangle ready for scanning.
struct TriangleSetup {
    int64_t x[3] = {}; // snapped vertex positions, 1/256 pixel
    int64_t y[3] = {};
    int64_t area = 0;      // twice the signed area in 1/256^2 pixel units, > 0 (clockwise)
    PixelRect box;         // pixels to visit: the bounding box clamped to the clip rectangle
    int64_t edge[3] = {};  // edge functions at the centre of pixel (box.x0, box.y0), biased
    int64_t stepX[3] = {}; // change of each edge function per pixel to the right
    int64_t stepY[3] = {}; // change per pixel down
};

// Snaps the triangle, drops it if it is a back face (anticlockwise on the screen), degenerate
// or outside `clip`, and prepares its edge functions. Returns false when nothing is to draw.
bool setupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   const PixelRect& clip, TriangleSetup& setup);

// Calls span(y, x0, x1) for each row with covered pixels x0 <= x < x1. A pixel is covered when
// its centre is inside the triangle, or on an edge that is a top or a left edge (see
// setupTriangle), so two triangles sharing an edge never both cover a pixel on it.
template <class Span> void scanTriangle(const TriangleSetup& s, Span&& span) {
    int64_t rowEdge[3] = {s.edge[0], s.edge[1], s.edge[2]};
    for (int y = s.box.y0; y < s.box.y1; ++y) {
        // Each edge function is e + stepX * k at the k-th pixel of the row; solve e + stepX *
        // k >= 0 for k exactly in integers, which narrows the run [begin, end) edge by edge.
        int64_t begin = 0;
        int64_t end = s.box.x1 - s.box.x0;
        for (int i = 0; i < 3; ++i) {
            const int64_t e = rowEdge[i];
            const int64_t step = s.stepX[i];
            if (step > 0) {
                // Rising to the right: k >= ceil(-e / step).
                begin = std::max(begin, e >= 0 ? 0 : (-e + step - 1) / step);
            } else if (step < 0) {
                // Falling to the right: k <= floor(e / -step), so the run ends after it.
                end = std::min(end, e < 0 ? 0 : e / -step + 1);
            } else if (e < 0) {
                end = 0; // parallel to the row and outside it
            }
        }
        if (begin < end) {
            span(y, s.box.x0 + int(begin), s.box.x0 + int(end));
        }
        rowEdge[0] += s.stepY[0];
        rowEdge[1] += s.stepY[1];
        rowEdge[2] += s.stepY[2];
    }
}

// Fills the triangle's covered pixels that pass the depth test, writing colour and depth.
void drawTriangle(RenderTarget& target, const PixelRect& clip, const ScreenVertex& a,
                  const ScreenVertex& b, const ScreenVertex& c, const TriangleFill& fill);

// The colour at texture position (s, t) measured in texels (s = u * width, t = v * height):
// nearest texel, positions clamped to the image's edge. Inline: it runs once per pixel.
inline uint32_t texelAt(const TextureSampler& tex, float s, float t) {
    const float lastColumn = float(tex.width - 1);
    const float lastRow = float(tex.height - 1);
    // Clamp to the edge texels; written so that NaN also lands on 0.
    s = s > 0 ? (s < lastColumn ? s : lastColumn) : 0;
    t = t > 0 ? (t < lastRow ? t : lastRow) : 0;
    // Truncation picks the texel whose square holds the position; row 0 is the top.
    return tex.palette[tex.pixels[size_t(t) * size_t(tex.stride) + size_t(s)]];
}

// The same for texture coordinates u, v in 0..1 (v = 0 is the image's top row).
inline uint32_t sampleTexture(const TextureSampler& tex, float u, float v) {
    return texelAt(tex, u * float(tex.width), v * float(tex.height));
}

} // namespace rm
