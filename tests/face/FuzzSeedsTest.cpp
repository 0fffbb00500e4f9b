// The seed corpus of the face fuzz target (fuzz/seeds) is made here, from the test faces.
// MIMLET_REWRITE_SEEDS=1 rewrites the files; otherwise they must match what is made.

#include "FaceBytes.h"
#include "FaceCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Vertices = std::vector<std::array<uint8_t, 3>>;

struct Seed {
    const char* fileName;
    FaceBytesSpec spec;
};

std::vector<Seed> seeds() {
    FaceBytesSpec zero = SmallFaceSpec();
    zero.shapes.resize(1);
    zero.shapeCount = 0;

    FaceBytesSpec empty;
    empty.shapes = {Vertices{}, Vertices{}, Vertices{}};
    empty.version = 0;

    // Ten shapes over eight vertices, two at one position, and a target equal to the base.
    FaceBytesSpec ten;
    const Vertices base = {{0, 0, 0},       {255, 0, 0},  {255, 255, 0}, {0, 255, 0},
                           {128, 128, 255}, {64, 64, 64}, {192, 64, 64}, {64, 64, 64}};
    ten.shapes.assign(10, base);
    for (size_t t = 1; t < 10; ++t) {
        if (t != 5) {
            ten.shapes[t][t % 8] = {static_cast<uint8_t>(t * 20), 100, static_cast<uint8_t>(t)};
        }
    }
    ten.faces = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {7, 6, 5}};
    ten.version = 100;
    return {{"small.mf", SmallFaceSpec()},
            {"shape-count-zero.mf", zero},
            {"no-vertices.mf", empty},
            {"ten-shapes.mf", ten}};
}

TEST(FuzzSeeds, AreAcceptedFacesMadeByTheTests) {
    const bool bRewrite = std::getenv("MIMLET_REWRITE_SEEDS") != nullptr;
    for (const Seed& seed : seeds()) {
        SCOPED_TRACE(seed.fileName);
        const std::vector<uint8_t> bytes = MakeFaceBytes(seed.spec);
        ASSERT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);
        const std::string path = std::string(MIMLET_SOURCE_DIR) + "/fuzz/seeds/" + seed.fileName;
        if (bRewrite) {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            ASSERT_TRUE(out.good()) << path;
        }
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> stored{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
        EXPECT_TRUE(stored == bytes) << path << " differs; MIMLET_REWRITE_SEEDS=1 remakes it";
    }
}

} // namespace
