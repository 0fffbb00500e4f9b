#pragma once
// Affine transforms of the engine: a 3x3 linear part and a translation, acting on column
// vectors (p' = m * p + t). Composition reads right to left: compose(a, b) applies b first.

#include "engine/RetainedMode.h"

#include <cmath>

namespace rm {

inline Vector operator+(Vector a, Vector b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector operator-(Vector a, Vector b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector operator*(Vector a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline float dot(Vector a, Vector b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vector cross(Vector a, Vector b) {
    // The usual determinant form; the handedness of the result follows the coordinates'.
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float length(Vector a) {
    return std::sqrt(dot(a, a));
}

struct Transform {
    float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; // rows of the linear part
    Vector t;                                          // translation, applied after m

    Vector applyLinear(Vector p) const {
        // Row i of m dotted with p.
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z,
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z,
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z};
    }

    Vector apply(Vector p) const { return applyLinear(p) + t; }
};

// a after b: a.apply(b.apply(p)).
inline Transform compose(const Transform& a, const Transform& b) {
    Transform r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            // Row i of a times column j of b.
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        }
    }
    r.t = a.apply(b.t); // b's translation carried through a, plus a's own
    return r;
}

// The inverse transform; a singular linear part (which rotations never give) yields identity.
inline Transform inverse(const Transform& a) {
    const auto& m = a.m;
    // Cofactors of the first row, then the determinant expanded along it.
    float c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    float c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    float c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    float det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    Transform r;
    if (det == 0 || !std::isfinite(det)) {
        return r;
    }
    float s = 1.0f / det;
    // Inverse = adjugate / det; the adjugate is the transposed cofactor matrix.
    r.m[0][0] = c00 * s;
    r.m[1][0] = c01 * s;
    r.m[2][0] = c02 * s;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * s;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * s;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * s;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * s;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * s;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * s;
    r.t = r.applyLinear(a.t) * -1.0f; // undo the translation in the inverted frame
    return r;
}

// Rotation by theta radians about the unit axis a (Rodrigues' formula). Seen from the tip of
// the axis looking back at the origin in these left-handed coordinates, a positive angle
// turns clockwise: about y, +z goes towards +x.
inline Transform rotation(Vector a, float theta) {
    float c = std::cos(theta);
    float s = std::sin(theta);
    float k = 1 - c;
    Transform r;
    // c * I + s * [a]x + (1 - c) * a a^T, written out entry by entry.
    r.m[0][0] = c + k * a.x * a.x;
    r.m[0][1] = k * a.x * a.y - s * a.z;
    r.m[0][2] = k * a.x * a.z + s * a.y;
    r.m[1][0] = k * a.y * a.x + s * a.z;
    r.m[1][1] = c + k * a.y * a.y;
    r.m[1][2] = k * a.y * a.z - s * a.x;
    r.m[2][0] = k * a.z * a.x - s * a.y;
    r.m[2][1] = k * a.z * a.y + s * a.x;
    r.m[2][2] = c + k * a.z * a.z;
    return r;
}

} // namespace rm
