#include "FaceCheck.h"
#include "FaceBytes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct RefusalCase {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
    const char* reasonPart; // a part of the reason the user is shown
};

std::vector<uint8_t> smallFace() {
    return MakeFaceBytes(SmallFaceSpec());
}

class FaceCheckRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(FaceCheckRefusal, RefusesWithReason) {
    const std::vector<uint8_t> bytes = GetParam().bytes();
    const FaceCheckResult result = CheckFaceBytes(bytes.data(), bytes.size());
    EXPECT_FALSE(result.accepted);
    EXPECT_NE(result.reason.find(GetParam().reasonPart), std::string::npos) << result.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FaceCheckRefusal,
    testing::Values(RefusalCase{"Empty", [] { return std::vector<uint8_t>{}; }, "shorter than 3"},
                    RefusalCase{"TwoBytes",
                                [] {
                                    return std::vector<uint8_t>{'M', 'F'};
                                },
                                "shorter than 3"},
                    RefusalCase{"LowerCaseMagic",
                                [] {
                                    auto b = smallFace();
                                    b[0] = 'm';
                                    b[1] = 'f';
                                    return b;
                                },
                                "magic"},
                    RefusalCase{"Version101",
                                [] {
                                    auto b = smallFace();
                                    b[2] = 101;
                                    return b;
                                },
                                "newer"},
                    RefusalCase{
                        "TooManyVertices",
                        [] {
                            FaceBytesSpec spec;
                            spec.shapes = {std::vector<std::array<uint8_t, 3>>(201, {1, 2, 3})};
                            return MakeFaceBytes(spec);
                        },
                        "200 vertices"},
                    RefusalCase{"TooManyShapes",
                                [] {
                                    FaceBytesSpec spec;
                                    spec.shapes.assign(11, {{1, 2, 3}});
                                    return MakeFaceBytes(spec);
                                },
                                "10 shapes"},
                    RefusalCase{"TruncatedByOneByte",
                                [] {
                                    auto b = smallFace();
                                    b.pop_back();
                                    return b;
                                },
                                "truncated"},
                    RefusalCase{"HeaderOnly",
                                [] {
                                    return std::vector<uint8_t>{'M', 'F', 1, 4};
                                },
                                "truncated"},
                    RefusalCase{"FaceVertexOutOfRange",
                                [] {
                                    FaceBytesSpec spec = SmallFaceSpec();
                                    spec.faces[1] = {0, 2, 4};
                                    return MakeFaceBytes(spec);
                                },
                                "names vertex 4"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(FaceCheck, AcceptsCompleteFacesAtTheLimits) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.version = 100;
    std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    EXPECT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);

    // Bytes after the texture are ignored.
    bytes.resize(bytes.size() + 1000, 0xAB);
    EXPECT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);

    // 200 vertices and 10 shapes, and fewer than 4 shapes, are shown.
    FaceBytesSpec big;
    big.shapes.assign(10, std::vector<std::array<uint8_t, 3>>(200, {9, 9, 9}));
    bytes = MakeFaceBytes(big);
    EXPECT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);

    FaceBytesSpec oneShape = SmallFaceSpec();
    oneShape.shapes.resize(1);
    bytes = MakeFaceBytes(oneShape);
    EXPECT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);
}

TEST(FaceCheck, ShapeCountZeroStillStoresTheBaseShape) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.shapes.resize(1);
    spec.shapeCount = 0;
    const std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    EXPECT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);
    EXPECT_FALSE(CheckFaceBytes(bytes.data(), bytes.size() - 1).accepted);
}

} // namespace
