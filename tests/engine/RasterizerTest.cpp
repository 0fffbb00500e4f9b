// Pixel coverage: every pixel of a surface made of triangles that share edges is covered
// exactly once, whatever the edges' directions and sub-pixel positions.

#include "engine/Rasterizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kSize = 64;

struct Point {
    float x = 0;
    float y = 0;
};

// Hits per pixel of a list of triangles (screen coordinates, y down, clockwise).
std::vector<int> countHits(const std::vector<std::array<Point, 3>>& triangles) {
    std::vector<int> hits(kSize * kSize, 0);
    const rm::PixelRect clip{0, 0, kSize, kSize};
    for (const auto& t : triangles) {
        rm::ScreenVertex v[3];
        for (int i = 0; i < 3; ++i) {
            v[i].x = t[size_t(i)].x;
            v[i].y = t[size_t(i)].y;
        }
        rm::TriangleSetup setup;
        if (!rm::setupTriangle(v[0], v[1], v[2], clip, setup)) {
            continue;
        }
        rm::scanTriangle(setup, [&](int y, int x0, int x1) {
            for (int x = x0; x < x1; ++x) {
                ++hits[size_t(y * kSize + x)];
            }
        });
    }
    return hits;
}

// Distance of p inside a convex clockwise (y down) polygon: > 0 inside, < 0 outside.
float insideDistance(const std::vector<Point>& polygon, Point p) {
    float d = INFINITY;
    for (size_t i = 0; i < polygon.size(); ++i) {
        Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        float len = std::hypot(b.x - a.x, b.y - a.y);
        d = std::min(d, ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / len);
    }
    return d;
}

struct FanCase {
    const char* name;
    Point centre;
    std::vector<Point> outline; // convex, clockwise on the screen
};

// A fan of triangles around a centre covers its outline: pixel centres inside are hit once,
// those outside never; centres within a hair of the outline are not judged.
void expectCoveredOnce(const FanCase& c) {
    std::vector<std::array<Point, 3>> triangles;
    for (size_t i = 0; i < c.outline.size(); ++i) {
        triangles.push_back({c.centre, c.outline[i], c.outline[(i + 1) % c.outline.size()]});
    }
    std::vector<int> hits = countHits(triangles);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float d = insideDistance(c.outline, {float(x) + 0.5f, float(y) + 0.5f});
            int h = hits[size_t(y * kSize + x)];
            EXPECT_LE(h, 1) << c.name << " pixel " << x << "," << y;
            if (d > 0.01f) {
                EXPECT_EQ(h, 1) << c.name << " pixel " << x << "," << y;
            } else if (d < -0.01f) {
                EXPECT_EQ(h, 0) << c.name << " pixel " << x << "," << y;
            }
        }
    }
}

std::vector<Point> regularPolygon(Point centre, float radius, int n, float phase) {
    std::vector<Point> p;
    for (int i = 0; i < n; ++i) {
        // Increasing angle turns clockwise on a y-down screen.
        float a = phase + 2 * float(M_PI) * float(i) / float(n);
        p.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
    }
    return p;
}

} // namespace

TEST(Rasterizer, SharedEdgesAreCoveredExactlyOnce) {
    const FanCase cases[] = {
        // Edges through pixel centres: horizontal, vertical and diagonal shared edges.
        {"centres on edges",
         {32.5f, 32.5f},
         {{8.5f, 8.5f}, {56.5f, 8.5f}, {56.5f, 56.5f}, {8.5f, 56.5f}}},
        {"integer corners", {32, 32}, {{8, 8}, {56, 8}, {56, 56}, {8, 56}}},
        {"sub-pixel fan", {31.3f, 33.7f}, regularPolygon({31.3f, 33.7f}, 27.1f, 17, 0.13f)},
        {"off-centre hub", {24.0f, 38.0f}, regularPolygon({30.0f, 31.0f}, 24.0f, 9, 0.5f)},
        {"slivers", {32.03f, 5.01f}, {{2.1f, 60.2f}, {2.6f, 4.3f}, {61.7f, 4.9f}, {62.2f, 60.8f}}},
        {"beyond the clip rectangle", {32, 32}, regularPolygon({32, 32}, 50.0f, 7, 0.2f)},
    };
    for (const FanCase& c : cases) {
        expectCoveredOnce(c);
    }
}

TEST(Rasterizer, TopLeftRuleOwnsTopAndLeftEdges) {
    // A 2x2-pixel square whose edges run exactly through pixel centres 0.5 and 2.5: the top
    // and left edges belong to it, the bottom and right ones to its neighbours.
    std::vector<int> hits = countHits({{{{0.5f, 0.5f}, {2.5f, 0.5f}, {2.5f, 2.5f}}},
                                       {{{0.5f, 0.5f}, {2.5f, 2.5f}, {0.5f, 2.5f}}}});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(hits[size_t(y * kSize + x)], (x < 2 && y < 2) ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(Rasterizer, BackFacesAndDegenerateTrianglesDrawNothing) {
    const std::vector<std::array<Point, 3>> triangles = {
        {{{10, 10}, {10, 40}, {40, 10}}}, // anticlockwise on the screen
        {{{10, 10}, {20, 20}, {30, 30}}}, // on one line
        {{{5, 5}, {5, 5}, {5, 5}}},       // one point
    };
    for (const auto& t : triangles) {
        std::vector<int> hits = countHits({t});
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 0), kSize * kSize);
    }
}

TEST(Rasterizer, TextureLookupClampsAndReadsTopRowAtVZero) {
    const uint8_t pixels[2 * 3] = {0, 1, 2, 3, 4, 5}; // 3 wide, 2 high, top row first
    uint32_t palette[256] = {10, 11, 12, 13, 14, 15};
    rm::TextureSampler t{pixels, 3, 2, 3, palette};
    struct Case {
        float u, v;
        uint32_t expected;
    } cases[] = {
        {0, 0, 10}, {0.99f, 0, 12}, {0, 0.99f, 13}, {0.5f, 0.75f, 14},         {-3, -3, 10},
        {7, 7, 15}, {1, 1, 15},     {NAN, NAN, 10}, {INFINITY, -INFINITY, 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rm::sampleTexture(t, c.u, c.v), c.expected) << c.u << "," << c.v;
    }
}
