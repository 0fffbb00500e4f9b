// The sample faces: valid for the player, shaped and wound as the engine draws them, and
// with targets that visibly open the mouth and close the eyes.

#include "SampleFace.h"
#include "FaceCheck.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRest = 0;
constexpr int kMouthOpen = 1;
constexpr int kMouthHalfOpen = 2;
constexpr int kEyesClosed = 3;

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// A face file read back into plain arrays (the layout is fixed; the tests check it first).
struct ReadFace {
    int shapeCount = 0;
    int vertexCount = 0;
    std::vector<std::vector<std::array<int, 3>>> shapes; // x, y, z bytes
    std::vector<std::array<int, 3>> triangles;
    std::vector<Rgb> palette;
    const uint8_t* texture = nullptr; // 256 stored rows of 256 indices, top of the face first

    Rgb Texel(int column, int storedRow) const {
        return palette[texture[storedRow * 256 + column]];
    }
};

ReadFace Read(const std::vector<uint8_t>& bytes) {
    ReadFace face;
    face.shapeCount = bytes[3];
    face.vertexCount = bytes[4];
    size_t pos = 5;
    for (int s = 0; s < std::max(face.shapeCount, 1); ++s) {
        face.shapes.emplace_back();
        for (int v = 0; v < face.vertexCount; ++v, pos += 3) {
            face.shapes.back().push_back({bytes[pos], bytes[pos + 1], bytes[pos + 2]});
        }
    }
    const int faceCount = bytes[pos++];
    for (int f = 0; f < faceCount; ++f, pos += 3) {
        face.triangles.push_back({bytes[pos], bytes[pos + 1], bytes[pos + 2]});
    }
    for (int k = 0; k < 256; ++k, pos += 3) {
        face.palette.push_back({bytes[pos], bytes[pos + 1], bytes[pos + 2]});
    }
    face.texture = bytes.data() + pos;
    return face;
}

// Twice the signed area of a triangle as the camera sees it at rest. The player puts a vertex
// at X = (x - 128)s, Y = (128 - y)s and looks from Z = -150 along +z, left-handed with x right
// and y up, so the screen shows (X, Y) unmirrored; a negative value is clockwise there, which
// is what the engine draws as a front face.
double ScreenCross(const std::vector<std::array<int, 3>>& shape, const std::array<int, 3>& t) {
    const double s = 0.0036303;
    auto X = [&](int v) { return (shape[v][0] - 128) * s; };
    auto Y = [&](int v) { return (128 - shape[v][1]) * s; };
    return (X(t[1]) - X(t[0])) * (Y(t[2]) - Y(t[0])) - (X(t[2]) - X(t[0])) * (Y(t[1]) - Y(t[0]));
}

// The face seen from the front in one shape, one sample per grid step: for each step the
// texel that the triangle covering it maps there (each vertex keeps the texture position of
// its rest x and y), or nothing where no triangle is.
struct FrontView {
    std::vector<bool> covered = std::vector<bool>(256 * 256, false);
    std::vector<Rgb> colour = std::vector<Rgb>(256 * 256);
};

FrontView LookFromFront(const ReadFace& face, int shapeNumber) {
    FrontView view;
    const auto& shape = face.shapes[shapeNumber];
    const auto& rest = face.shapes[kRest];
    for (const auto& t : face.triangles) {
        const double ax = shape[t[0]][0], ay = shape[t[0]][1];
        const double bx = shape[t[1]][0], by = shape[t[1]][1];
        const double cx = shape[t[2]][0], cy = shape[t[2]][1];
        const double area = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
        if (area <= 0) {
            continue; // collapsed (or turned away): shows nothing
        }
        // Only the steps inside the triangle's bounding box can be covered.
        const int left = static_cast<int>(std::min({ax, bx, cx}));
        const int right = static_cast<int>(std::max({ax, bx, cx}));
        const int top = static_cast<int>(std::min({ay, by, cy}));
        const int bottom = static_cast<int>(std::max({ay, by, cy}));
        for (int py = top; py <= bottom && py < 256; ++py) {
            for (int px = left; px <= right && px < 256; ++px) {
                const double x = px + 0.5;
                const double y = py + 0.5;
                // Barycentric weights of the sample point.
                const double wa = ((bx - x) * (cy - y) - (cx - x) * (by - y)) / area;
                const double wb = ((cx - x) * (ay - y) - (ax - x) * (cy - y)) / area;
                const double wc = 1 - wa - wb;
                if (wa < 0 || wb < 0 || wc < 0) {
                    continue;
                }
                // The texture position: u = x / 256 and v = (256 - y) / 256 of the rest
                // vertices, so texel column floor(x) and stored row ceil(y) - 1.
                const double tx = wa * rest[t[0]][0] + wb * rest[t[1]][0] + wc * rest[t[2]][0];
                const double ty = wa * rest[t[0]][1] + wb * rest[t[1]][1] + wc * rest[t[2]][1];
                const int column = std::clamp(static_cast<int>(std::floor(tx)), 0, 255);
                const int row = std::clamp(static_cast<int>(std::ceil(ty)) - 1, 0, 255);
                view.covered[py * 256 + px] = true;
                view.colour[py * 256 + px] = face.Texel(column, row);
            }
        }
    }
    return view;
}

// Counts the covered steps in rows [top, bottom) whose colour passes `test`.
template <typename Test> int Count(const FrontView& view, int top, int bottom, Test test) {
    int n = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < 256; ++x) {
            n += view.covered[y * 256 + x] && test(view.colour[y * 256 + x]) ? 1 : 0;
        }
    }
    return n;
}

bool IsEyeWhite(const Rgb& c) {
    return c.red > 225 && c.green > 225 && c.blue > 215;
}
bool IsMouthInside(const Rgb& c) {
    return c.red < 110 && c.green < 60 && c.blue < 70;
}

// The rows where the eyes are, and those from the mouth to the chin.
constexpr int kEyeTop = 95;
constexpr int kEyeBottom = 145;
constexpr int kMouthTop = 180;

class SampleFaceVariant : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        m_bytes = MakeSampleFace(GetParam());
        const FaceCheckResult check = CheckFaceBytes(m_bytes.data(), m_bytes.size());
        ASSERT_TRUE(check.accepted) << check.reason;
        m_face = Read(m_bytes);
    }

    std::vector<uint8_t> m_bytes;
    ReadFace m_face;
};

TEST_P(SampleFaceVariant, FitsThePlayersLimitsAndCarriesTheAnimatedTargets) {
    EXPECT_LE(m_face.vertexCount, 200);
    EXPECT_GE(m_face.shapeCount, 4);
    EXPECT_LE(m_face.shapeCount, 10);
    EXPECT_GT(m_face.triangles.size(), 0u);
    // Exactly the layout, nothing after the texture.
    EXPECT_EQ(m_bytes.size(), kFaceFixedBytes + 3u * m_face.vertexCount * m_face.shapeCount +
                                  3u * m_face.triangles.size());
}

TEST_P(SampleFaceVariant, HeadFillsTheGrid) {
    int minX = 255, maxX = 0, minY = 255, maxY = 0;
    for (const auto& v : m_face.shapes[kRest]) {
        minX = std::min(minX, v[0]);
        maxX = std::max(maxX, v[0]);
        minY = std::min(minY, v[1]);
        maxY = std::max(maxY, v[1]);
    }
    EXPECT_LE(minX, 24);
    EXPECT_GE(maxX, 232);
    EXPECT_LE(minY, 10);
    EXPECT_GE(maxY, 236);
}

// The player finds each file vertex in the mesh by its rest position; two vertices at one
// position would share one mesh vertex, and the targets of one would move the other.
TEST_P(SampleFaceVariant, RestPositionsAreDistinct) {
    std::vector<std::array<int, 3>> sorted = m_face.shapes[kRest];
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_P(SampleFaceVariant, EveryTriangleFacesTheCameraAtRestAndNoneTurnsAwayInATarget) {
    for (size_t i = 0; i < m_face.triangles.size(); ++i) {
        EXPECT_LT(ScreenCross(m_face.shapes[kRest], m_face.triangles[i]), 0)
            << "triangle " << i << " is a back face at rest";
        for (int s = 1; s < m_face.shapeCount; ++s) {
            // A target may collapse a triangle (a closed eye) but never turn it over.
            EXPECT_LE(ScreenCross(m_face.shapes[s], m_face.triangles[i]), 0)
                << "triangle " << i << " turns away in target " << s;
        }
    }
}

TEST_P(SampleFaceVariant, EachTargetMovesOnlyItsOwnPartOfTheFace) {
    struct Case {
        int target;
        int top; // every moved vertex rests in rows [top, bottom)
        int bottom;
    };
    for (const Case& c : {Case{kMouthOpen, kMouthTop, 256}, Case{kMouthHalfOpen, kMouthTop, 256},
                          Case{kEyesClosed, kEyeTop, kEyeBottom}}) {
        int moved = 0;
        bool left = false;
        bool right = false;
        for (int v = 0; v < m_face.vertexCount; ++v) {
            const auto& rest = m_face.shapes[kRest][v];
            const auto& target = m_face.shapes[c.target][v];
            if (rest == target) {
                continue;
            }
            ++moved;
            left = left || rest[0] < 128;
            right = right || rest[0] > 128;
            EXPECT_GE(rest[1], c.top) << "target " << c.target << " moves vertex " << v;
            EXPECT_LT(rest[1], c.bottom) << "target " << c.target << " moves vertex " << v;
        }
        EXPECT_GT(moved, 0) << "target " << c.target;
        EXPECT_TRUE(left && right) << "target " << c.target << " moves one side only";
    }
}

TEST_P(SampleFaceVariant, OpeningTheMouthShowsItsInsideWideMoreThanHalf) {
    auto inside = [&](int shape) {
        return Count(LookFromFront(m_face, shape), kMouthTop, 256, IsMouthInside);
    };
    const int rest = inside(kRest);
    const int half = inside(kMouthHalfOpen);
    const int wide = inside(kMouthOpen);
    EXPECT_GT(half, 2 * rest + 100);
    EXPECT_GT(wide, half + 200);
}

TEST_P(SampleFaceVariant, ClosingTheEyesHidesTheWhitesOfTheEyes) {
    const int open = Count(LookFromFront(m_face, kRest), kEyeTop, kEyeBottom, IsEyeWhite);
    const int closed = Count(LookFromFront(m_face, kEyesClosed), kEyeTop, kEyeBottom, IsEyeWhite);
    EXPECT_GT(open, 2 * 100); // both eyes show a good deal of white
    EXPECT_EQ(closed, 0);
}

TEST_P(SampleFaceVariant, IsTheSameEveryTimeAndMatchesTheBuiltSample) {
    EXPECT_EQ(MakeSampleFace(GetParam()), m_bytes);
    // Written by the build, in another process.
    const std::string path =
        std::string(MIMLET_BINARY_DIR) + "/samples/sample-" + std::to_string(GetParam()) + ".mf";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::vector<uint8_t> built{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(built, m_bytes);
}

INSTANTIATE_TEST_SUITE_P(Variants, SampleFaceVariant, testing::Values(1, 2));

TEST(SampleFaceVariants, DifferClearlyInSkinAndHair) {
    const std::vector<uint8_t> one = MakeSampleFace(1);
    const std::vector<uint8_t> two = MakeSampleFace(2);
    const ReadFace a = Read(one);
    const ReadFace b = Read(two);
    auto distance = [](const Rgb& p, const Rgb& q) {
        return std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
    };
    // Stored row r is at y = r + 1: the top of the head (hair) and the middle of the cheek.
    EXPECT_GT(distance(a.Texel(128, 14), b.Texel(128, 14)), 120) << "hair";
    EXPECT_GT(distance(a.Texel(70, 149), b.Texel(70, 149)), 120) << "skin";
}

struct CommandCase {
    const char* name;
    std::string arguments; // after "make-sample"; OUT stands for a file in a temporary folder
    int status;
    int writtenVariant; // 0: no file is written
};

class MakeSampleCommand : public testing::TestWithParam<CommandCase> {};

TEST_P(MakeSampleCommand, ExitsWithStatusAndWritesTheVariant) {
    const TempDir dir;
    const std::string out = dir.path() + "/face.mf";
    std::string arguments = GetParam().arguments;
    if (const size_t at = arguments.find("OUT"); at != std::string::npos) {
        arguments.replace(at, 3, out);
    }
    const std::string command = std::string(MIMLET_BINARY_DIR) + "/bin/mimlet-face make-sample " +
                                arguments + " 2>/dev/null";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), GetParam().status);
    std::ifstream in(out, std::ios::binary);
    if (GetParam().writtenVariant == 0) {
        EXPECT_FALSE(in);
        return;
    }
    ASSERT_TRUE(in);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, MakeSampleFace(GetParam().writtenVariant));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, MakeSampleCommand,
    testing::Values(CommandCase{"DefaultVariant", "OUT", 0, 1},
                    CommandCase{"Variant2", "OUT --variant 2", 0, 2},
                    CommandCase{"VariantFirst", "--variant 2 OUT", 0, 2},
                    CommandCase{"NoOutput", "--variant 1", 2, 0},
                    CommandCase{"VariantZero", "OUT --variant 0", 2, 0},
                    CommandCase{"VariantThree", "OUT --variant 3", 2, 0},
                    CommandCase{"VariantMissing", "OUT --variant", 2, 0},
                    CommandCase{"UnknownOption", "OUT --colour red", 2, 0},
                    CommandCase{"TwoOutputs", "OUT other.mf", 2, 0},
                    CommandCase{"UnwritablePlace", "/nonexistent-folder/face.mf", 1, 0}),
    [](const testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

} // namespace
