#include "engine/Rasterizer.h"

#include <algorithm>
#include <cmath>

namespace rm {

namespace {

// Division rounding towards minus infinity (the pixel grid continues left of 0).
int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return -floorDiv(-a, b);
}

// A plane a*x + b*y + c*z + d >= 0 in camera coordinates: the side that stays.
struct ClipPlane {
    float a = 0;
    float b = 0;
    float c = 0;
    float d = 0;

    float distance(const Vector& p) const { return a * p.x + b * p.y + c * p.z + d; }
};

std::array<ClipPlane, kClipPlaneCount> clipPlanes(const Projection& pr) {
    const float s = pr.scale;
    const float g = kGuardBand;
    if (pr.perspective) {
        // |s * x / z| <= g becomes g * z -+ s * x >= 0, valid once z >= front > 0.
        return {{{0, 0, 1, -pr.front},
                 {0, 0, -1, pr.back},
                 {-s, 0, g, 0},
                 {s, 0, g, 0},
                 {0, -s, g, 0},
                 {0, s, g, 0}}};
    }
    // z - front >= 0, back - z >= 0, and |s * x| <= g, |s * y| <= g.
    return {{{0, 0, 1, -pr.front},
             {0, 0, -1, pr.back},
             {-s, 0, 0, g},
             {s, 0, 0, g},
             {0, -s, 0, g},
             {0, s, 0, g}}};
}

ViewVertex lerp(const ViewVertex& a, const ViewVertex& b, float t) {
    // Straight-line interpolation in camera space, where every attribute is linear.
    ViewVertex r;
    r.p = a.p + (b.p - a.p) * t;
    r.u = a.u + (b.u - a.u) * t;
    r.v = a.v + (b.v - a.v) * t;
    return r;
}

// An attribute that varies linearly over the screen: value = at + dx * x + dy * y, where x
// and y are measured from the triangle's first vertex.
struct AttributePlane {
    float at = 0;
    float dx = 0;
    float dy = 0;
};

AttributePlane attributePlane(float a0, float a1, float a2, float x10, float y10, float x20,
                              float y20, float invArea) {
    // Solve dx * x10 + dy * y10 = a1 - a0 and dx * x20 + dy * y20 = a2 - a0 (Cramer's rule;
    // invArea is 1 / (x10 * y20 - x20 * y10)).
    float d1 = a1 - a0;
    float d2 = a2 - a0;
    return {a0, (d1 * y20 - d2 * y10) * invArea, (d2 * x10 - d1 * x20) * invArea};
}

} // namespace

bool transformVertices(const Transform& modelView, const Vertex* in, size_t n, ViewVertex* out) {
    bool finite = true;
    for (size_t i = 0; i < n; ++i) {
        out[i].p = modelView.apply(in[i].position);
        out[i].u = in[i].tu;
        out[i].v = in[i].tv;
        // Sum is non-finite if any part is (inf - inf is NaN, NaN spreads).
        float sum = out[i].p.x + out[i].p.y + out[i].p.z + out[i].u + out[i].v;
        finite = finite && std::isfinite(sum) && std::isfinite(out[i].p.x) &&
                 std::isfinite(out[i].p.y) && std::isfinite(out[i].p.z);
    }
    return finite;
}

int clipTriangle(const ViewVertex& a, const ViewVertex& b, const ViewVertex& c,
                 const Projection& projection, ClippedPolygon& out) {
    const auto planes = clipPlanes(projection);
    // Trivial cases first: wholly inside every plane, or wholly outside one of them.
    bool allInside = true;
    for (const ClipPlane& plane : planes) {
        float da = plane.distance(a.p), db = plane.distance(b.p), dc = plane.distance(c.p);
        if (da < 0 && db < 0 && dc < 0) {
            return 0;
        }
        allInside = allInside && da >= 0 && db >= 0 && dc >= 0;
    }
    out[0] = a;
    out[1] = b;
    out[2] = c;
    if (allInside) {
        return 3;
    }
    // Sutherland-Hodgman: cut the polygon by one plane after the other.
    ClippedPolygon scratch;
    int n = 3;
    for (const ClipPlane& plane : planes) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const ViewVertex& cur = out[i];
            const ViewVertex& next = out[(i + 1) % n];
            float dc = plane.distance(cur.p);
            float dn = plane.distance(next.p);
            if (dc >= 0) {
                scratch[m++] = cur;
            }
            if ((dc >= 0) != (dn >= 0)) {
                // The crossing point: where the distance, linear along the edge, is 0.
                scratch[m++] = lerp(cur, next, dc / (dc - dn));
            }
        }
        n = m;
        std::copy_n(scratch.begin(), n, out.begin());
        if (n < 3) {
            return 0;
        }
    }
    return n;
}

ScreenVertex projectVertex(const ViewVertex& v, const Projection& pr) {
    ScreenVertex s;
    if (pr.perspective) {
        s.q = 1.0f / v.p.z;                        // 1/z is linear on the screen
        s.x = pr.centreX + pr.scale * v.p.x * s.q; // x/z scaled to pixels, right is +x
        s.y = pr.centreY - pr.scale * v.p.y * s.q; // y up in view, down on the screen
        s.depth = -s.q;                            // grows with z, as depth must
    } else {
        s.q = 1;
        s.x = pr.centreX + pr.scale * v.p.x; // view units scaled to pixels
        s.y = pr.centreY - pr.scale * v.p.y; // y up in view, down on the screen
        s.depth = v.p.z;
    }
    s.uq = v.u * s.q; // u/z and v/z are linear on the screen; u and v are not
    s.vq = v.v * s.q;
    return s;
}

bool setupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   const PixelRect& clip, TriangleSetup& s) {
    const ScreenVertex* v[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(v[i]->x) || !std::isfinite(v[i]->y) ||
            std::fabs(v[i]->x) > 2 * kGuardBand || std::fabs(v[i]->y) > 2 * kGuardBand) {
            return false;
        }
        // Snap to the 1/256-pixel grid.
        s.x[i] = std::llround(v[i]->x * kSubpixelOne);
        s.y[i] = std::llround(v[i]->y * kSubpixelOne);
    }
    // Twice the signed area; with y down, clockwise on the screen is positive.
    s.area = (s.x[1] - s.x[0]) * (s.y[2] - s.y[0]) - (s.x[2] - s.x[0]) * (s.y[1] - s.y[0]);
    if (s.area <= 0) {
        return false; // a back face, or no area at all
    }
    // Pixels whose centre (x * 256 + 128) lies within the vertices' extent, clamped to clip.
    const int64_t half = kSubpixelOne / 2;
    int64_t minX = std::min({s.x[0], s.x[1], s.x[2]});
    int64_t maxX = std::max({s.x[0], s.x[1], s.x[2]});
    int64_t minY = std::min({s.y[0], s.y[1], s.y[2]});
    int64_t maxY = std::max({s.y[0], s.y[1], s.y[2]});
    s.box.x0 = int(std::max<int64_t>(clip.x0, ceilDiv(minX - half, kSubpixelOne)));
    s.box.x1 = int(std::min<int64_t>(clip.x1, floorDiv(maxX - half, kSubpixelOne) + 1));
    s.box.y0 = int(std::max<int64_t>(clip.y0, ceilDiv(minY - half, kSubpixelOne)));
    s.box.y1 = int(std::min<int64_t>(clip.y1, floorDiv(maxY - half, kSubpixelOne) + 1));
    if (s.box.x0 >= s.box.x1 || s.box.y0 >= s.box.y1) {
        return false;
    }
    // The first pixel centre visited, in fixed point.
    const int64_t px = int64_t(s.box.x0) * kSubpixelOne + half;
    const int64_t py = int64_t(s.box.y0) * kSubpixelOne + half;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        int64_t dx = s.x[j] - s.x[i];
        int64_t dy = s.y[j] - s.y[i];
        // Edge function of edge i -> j at p: cross product of (j - i) and (p - i); positive on
        // the inner side of a clockwise triangle.
        s.edge[i] = dx * (py - s.y[i]) - dy * (px - s.x[i]);
        s.stepX[i] = -dy * kSubpixelOne; // one pixel right changes p.x by 256
        s.stepY[i] = dx * kSubpixelOne;  // one pixel down changes p.y by 256
        // Top-left fill rule: a centre exactly on an edge (edge function 0) belongs to the
        // triangle only if that edge is a top edge (horizontal, running right, the triangle
        // below it) or a left edge (running up, the triangle to its right). On every other
        // edge the function must be strictly positive, which for integers means >= 1: the
        // bias of -1 turns that into the same >= 0 test. A shared edge runs one way in one
        // triangle and the other way in its neighbour, so exactly one of them owns it.
        bool topEdge = dy == 0 && dx > 0;
        bool leftEdge = dy < 0;
        if (!topEdge && !leftEdge) {
            s.edge[i] -= 1;
        }
    }
    return true;
}

void drawTriangle(RenderTarget& target, const PixelRect& clip, const ScreenVertex& a,
                  const ScreenVertex& b, const ScreenVertex& c, const TriangleFill& fill) {
    TriangleSetup s;
    if (!setupTriangle(a, b, c, clip, s)) {
        return;
    }
    // Interpolate over the snapped positions, the ones coverage was decided on.
    const float scale = 1.0f / kSubpixelOne;
    const float x0 = float(s.x[0]) * scale;
    const float y0 = float(s.y[0]) * scale;
    const float x10 = float(s.x[1] - s.x[0]) * scale;
    const float y10 = float(s.y[1] - s.y[0]) * scale;
    const float x20 = float(s.x[2] - s.x[0]) * scale;
    const float y20 = float(s.y[2] - s.y[0]) * scale;
    const float invArea = 1.0f / (x10 * y20 - x20 * y10); // 1 / twice the area in pixels
    const AttributePlane depth =
        attributePlane(a.depth, b.depth, c.depth, x10, y10, x20, y20, invArea);
    const AttributePlane q = attributePlane(a.q, b.q, c.q, x10, y10, x20, y20, invArea);
    // A local copy of the sampler: the pixel stores below cannot alias it, so its fields
    // stay in registers. Texture coordinates are interpolated in texels (u * width).
    const TextureSampler tex = fill.texture ? *fill.texture : TextureSampler{};
    const bool textured = fill.texture != nullptr;
    const float sw = float(tex.width);
    const float sh = float(tex.height);
    const AttributePlane uq =
        attributePlane(a.uq * sw, b.uq * sw, c.uq * sw, x10, y10, x20, y20, invArea);
    const AttributePlane vq =
        attributePlane(a.vq * sh, b.vq * sh, c.vq * sh, x10, y10, x20, y20, invArea);
    const bool affine = a.q == 1 && b.q == 1 && c.q == 1; // orthographic: no division needed
    const uint32_t flat = fill.color;

    scanTriangle(s, [&](int y, int xBegin, int xEnd) {
        // The attributes at the centre of the span's first pixel.
        const float fx = float(xBegin) + 0.5f - x0;
        const float fy = float(y) + 0.5f - y0;
        float z = depth.at + depth.dx * fx + depth.dy * fy;
        float qv = q.at + q.dx * fx + q.dy * fy;
        float u = uq.at + uq.dx * fx + uq.dy * fy;
        float v = vq.at + vq.dx * fx + vq.dy * fy;
        uint32_t* color = target.color + size_t(y) * size_t(target.width);
        float* zbuf = target.depth + size_t(y) * size_t(target.width);
        for (int x = xBegin; x < xEnd; ++x) {
            if (z < zbuf[x]) { // nearer than what is there: ties keep the earlier face
                zbuf[x] = z;
                if (!textured) {
                    color[x] = flat;
                } else if (affine) {
                    color[x] = texelAt(tex, u, v);
                } else {
                    float w = 1.0f / qv; // back from u/z, v/z to u, v
                    color[x] = texelAt(tex, u * w, v * w);
                }
            }
            z += depth.dx; // one pixel right
            qv += q.dx;
            u += uq.dx;
            v += vq.dx;
        }
    });
}

} // namespace rm
