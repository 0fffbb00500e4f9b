#include "SampleMesh.h"

#include "SampleLayout.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace {

struct Position {
    double x = 0;
    double y = 0;
    double z = 0;
};

using Row = std::vector<int>; // vertex numbers, left to right

// Half the width of the head's front outline at height y: an ellipse for the skull above
// y = 124 and, below it, a longer one drawn in towards the chin at y = 246.
double HalfWidth(double y) {
    if (y <= 124) {
        const double t = (124 - y) / 121;
        return 112 * std::sqrt(std::max(0.0, 1 - t * t));
    }
    const double t = (y - 124) / 124.6;
    return 112 * std::sqrt(std::max(0.0, 1 - t * t)) * (1 - 0.3 * t);
}

double Bump(double dx, double dy) {
    return std::exp(-(dx * dx + dy * dy));
}

// Depth byte at (x, y): a larger value is nearer the camera. A rounded shell from about 30
// at the outline to about 180 in the middle, with a nose, sunken eyes, lips and a chin.
double Depth(double x, double y) {
    const double u = (x - 128) / (HalfWidth(y) + 6);
    const double v = (y - 130) / 150;
    double z = 30 + 150 * std::sqrt(std::max(0.0, 1 - u * u)) * std::sqrt(std::max(0.0, 1 - v * v));
    // The nose rises from the bridge to its tip at y = 160 and falls steeply under it.
    const double ridge = y < 112 ? 0 : y < 160 ? (y - 112) / 48 : std::max(0.0, (178 - y) / 18);
    z += 42 * ridge * std::exp(-std::pow((x - 128) / 13, 2));
    z -= 10 * Bump((x - kLeftEyeCentreX) / 18, (y - kEyeCentreY) / 10);
    z -= 10 * Bump((x - kRightEyeCentreX) / 18, (y - kEyeCentreY) / 10);
    z += 8 * Bump((x - 128) / 28, (y - kMouthCornerY) / 8);
    z += 10 * Bump((x - 128) / 24, (y - 232) / 12);
    return z;
}

// x of the 11 vertices of a face row: the outline, a point between it and the face, and seven
// points 22 steps apart around the middle, drawn together where the jaw narrows.
std::vector<double> FaceRowX(double y) {
    const double w = HalfWidth(y);
    const double f = std::min(1.0, 0.72 * w / 66);
    const double second = (66 * f + w) / 2;
    return {128 - w,      128 - second, 128 - 66 * f, 128 - 44 * f, 128 - 22 * f, 128,
            128 + 22 * f, 128 + 44 * f, 128 + 66 * f, 128 + second, 128 + w};
}

// x of n vertices spread evenly across the outline at height y.
std::vector<double> EvenRowX(double y, int n) {
    const double w = HalfWidth(y);
    std::vector<double> xs;
    for (int k = 0; k < n; ++k) {
        xs.push_back(128 - w + 2 * w * k / (n - 1));
    }
    return xs;
}

class MeshBuilder {
public:
    int Add(double x, double y) {
        m_base.push_back({x, y, Depth(x, y)});
        return static_cast<int>(m_base.size()) - 1;
    }

    Row AddRow(const std::vector<double>& xs, double y) {
        Row row;
        for (double x : xs) {
            row.push_back(Add(x, y));
        }
        return row;
    }

    // Triangulates the band between two rows that run left to right, walking both at once and
    // always advancing along the row whose next vertex lies further left. Every triangle runs
    // upper-left, upper-right or lower-right, lower-left: clockwise on screen. Rows that share
    // a vertex (the corners of an eye) close the band there without a degenerate triangle.
    void Zip(const Row& upper, const Row& lower) {
        size_t i = 0;
        size_t j = 0;
        while (i + 1 < upper.size() || j + 1 < lower.size()) {
            const bool advanceUpper =
                j + 1 == lower.size() ||
                (i + 1 < upper.size() && m_base[upper[i + 1]].x <= m_base[lower[j + 1]].x);
            if (advanceUpper) {
                Emit(upper[i], upper[i + 1], lower[j]);
                ++i;
            } else {
                Emit(upper[i], lower[j + 1], lower[j]);
                ++j;
            }
        }
    }

    std::vector<Position> m_base;
    std::vector<std::array<int, 3>> m_triangles;

private:
    void Emit(int a, int b, int c) {
        if (a != b && b != c && a != c) {
            m_triangles.push_back({a, b, c});
        }
    }
};

uint8_t ToByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

std::vector<GridVertex> ToGrid(const std::vector<Position>& positions) {
    std::vector<GridVertex> out;
    for (const Position& p : positions) {
        out.push_back({ToByte(p.x), ToByte(p.y), ToByte(p.z)});
    }
    return out;
}

struct EyeRows {
    Row upperLid; // corner, three lid-edge vertices, corner
    Row lowerLid; // the same corners, three lower-lid vertices
};

EyeRows AddEye(MeshBuilder& builder, double centreX) {
    const EyeChains chains = EyeChainsAt(centreX);
    EyeRows eye;
    for (const LayoutPoint& p : chains.upper) {
        eye.upperLid.push_back(builder.Add(p.x, p.y));
    }
    eye.lowerLid = eye.upperLid;
    for (int k = 1; k <= 3; ++k) {
        eye.lowerLid[k] = builder.Add(chains.lower[k].x, chains.lower[k].y);
    }
    return eye;
}

Row Join(std::initializer_list<Row> parts) {
    Row out;
    for (const Row& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace

SampleMesh MakeSampleMesh() {
    MeshBuilder b;

    // The skull: rows widening from the crown down to the brows.
    const Row crown = b.AddRow(EvenRowX(4, 5), 4);
    const Row top = b.AddRow(EvenRowX(16, 7), 16);
    const Row skull = b.AddRow(EvenRowX(34, 9), 34);
    const Row forehead = b.AddRow(FaceRowX(60), 60);
    const Row brows = b.AddRow(FaceRowX(96), 96);

    // The eye row: one row above the eyes (through the upper lids) and one below them
    // (through the lower lids); outside the eyes the two rows share their vertices.
    const std::vector<double> eyeRowX = FaceRowX(kEyeCornerY);
    const Row eyeRowLeft = {b.Add(eyeRowX[0], kEyeCornerY), b.Add(eyeRowX[1], kEyeCornerY)};
    const EyeRows leftEye = AddEye(b, kLeftEyeCentreX);
    const Row bridge = {b.Add(128, kEyeCentreY)};
    const EyeRows rightEye = AddEye(b, kRightEyeCentreX);
    const Row eyeRowRight = {b.Add(eyeRowX[9], kEyeCornerY), b.Add(eyeRowX[10], kEyeCornerY)};
    const Row aboveEyes =
        Join({eyeRowLeft, leftEye.upperLid, bridge, rightEye.upperLid, eyeRowRight});
    const Row belowEyes =
        Join({eyeRowLeft, leftEye.lowerLid, bridge, rightEye.lowerLid, eyeRowRight});

    const Row cheeks = b.AddRow(FaceRowX(140), 140);
    const Row noseTip = b.AddRow(FaceRowX(158), 158);
    const Row underNose = b.AddRow(FaceRowX(176), 176);

    // The mouth row: the upper lip's inner edge above the gap, the lower lip's below it.
    const std::vector<double> mouthRowX = FaceRowX(kMouthCornerY);
    Row mouthLeft;
    for (int k = 0; k < 3; ++k) {
        mouthLeft.push_back(b.Add(mouthRowX[k], kMouthCornerY));
    }
    const int leftCorner = b.Add(kMouthChainX[0], kMouthCornerY);
    Row upperLip;
    Row lowerLip;
    for (int k = 1; k <= 3; ++k) {
        upperLip.push_back(b.Add(kMouthChainX[k], kMouthUpperY));
    }
    for (int k = 1; k <= 3; ++k) {
        lowerLip.push_back(b.Add(kMouthChainX[k], kMouthLowerY));
    }
    const int rightCorner = b.Add(kMouthChainX[4], kMouthCornerY);
    Row mouthRight;
    for (int k = 8; k < 11; ++k) {
        mouthRight.push_back(b.Add(mouthRowX[k], kMouthCornerY));
    }
    const Row upperLipChain = Join({{leftCorner}, upperLip, {rightCorner}});
    const Row lowerLipChain = Join({{leftCorner}, lowerLip, {rightCorner}});
    const Row aboveMouth = Join({mouthLeft, upperLipChain, mouthRight});
    const Row belowMouth = Join({mouthLeft, lowerLipChain, mouthRight});

    const Row underLip = b.AddRow(FaceRowX(216), 216);
    const Row jaw = b.AddRow(FaceRowX(234), 234);
    const Row chin = b.AddRow(EvenRowX(246, 5), 246);

    b.Zip(crown, top);
    b.Zip(top, skull);
    b.Zip(skull, forehead);
    b.Zip(forehead, brows);
    b.Zip(brows, aboveEyes);
    b.Zip(leftEye.upperLid, leftEye.lowerLid);
    b.Zip(rightEye.upperLid, rightEye.lowerLid);
    b.Zip(belowEyes, cheeks);
    b.Zip(cheeks, noseTip);
    b.Zip(noseTip, underNose);
    b.Zip(underNose, aboveMouth);
    b.Zip(upperLipChain, lowerLipChain);
    b.Zip(belowMouth, underLip);
    b.Zip(underLip, jaw);
    b.Zip(jaw, chin);

    // Opening the mouth: the upper lip rises a little, the lower lip, the jaw and the chin
    // drop, the corners draw in. `amount` 1 is wide open.
    auto openMouth = [&](double amount) {
        std::vector<Position> shape = b.m_base;
        auto move = [&](int v, double dx, double dy) {
            shape[v].x += amount * dx;
            shape[v].y += amount * dy;
        };
        const double upperRise[] = {-2, -3, -2};
        const double lowerDrop[] = {20, 26, 20};
        for (int k = 0; k < 3; ++k) {
            move(upperLip[k], 0, upperRise[k]);
            move(lowerLip[k], 0, lowerDrop[k]);
        }
        move(leftCorner, 3, 3);
        move(rightCorner, -3, 3);
        const double besideMouth[] = {1, 2, 4};
        for (int k = 0; k < 3; ++k) {
            move(mouthLeft[k], 0, besideMouth[k]);
            move(mouthRight[2 - k], 0, besideMouth[k]);
        }
        // Rows below the mouth follow the jaw, the middle more than the sides.
        auto dropRow = [&](const Row& row, double drop) {
            const double w = std::max(1.0, b.m_base[row.back()].x - 128);
            for (int v : row) {
                const double side = std::clamp((std::abs(b.m_base[v].x - 128) - 30) / w, 0.0, 1.0);
                move(v, 0, drop * (1 - 0.5 * side));
            }
        };
        dropRow(underLip, 20);
        dropRow(jaw, 14);
        dropRow(chin, 8);
        return shape;
    };

    // Closing the eyes: each upper lid's edge slides down onto the lower lid, bulging
    // a little towards the camera as a lid over the eyeball does.
    auto closeEyes = [&]() {
        std::vector<Position> shape = b.m_base;
        for (const EyeRows* eye : {&leftEye, &rightEye}) {
            for (int k = 1; k <= 3; ++k) {
                const Position& lower = b.m_base[eye->lowerLid[k]];
                shape[eye->upperLid[k]] = {lower.x, lower.y, lower.z + 4};
            }
        }
        return shape;
    };

    SampleMesh mesh;
    mesh.shapes = {ToGrid(b.m_base), ToGrid(openMouth(1.0)), ToGrid(openMouth(0.5)),
                   ToGrid(closeEyes())};
    for (const auto& t : b.m_triangles) {
        mesh.faces.push_back(
            {static_cast<uint8_t>(t[0]), static_cast<uint8_t>(t[1]), static_cast<uint8_t>(t[2])});
    }
    assert(mesh.shapes[0].size() <= 200 && mesh.faces.size() <= 255);
    return mesh;
}
