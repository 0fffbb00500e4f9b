#include "FaceModel.h"
#include "FaceBytes.h"
#include "FaceCheck.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <ostream>
#include <vector>

// Live blocks from operator new in this process, so that the destruction tests can see that
// a model frees exactly the blocks its parse made.
namespace {
long s_nLiveBlocks = 0;
} // namespace

void* operator new(size_t n) {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    ++s_nLiveBlocks;
    return p;
}
void* operator new[](size_t n) {
    return operator new(n);
}
void operator delete(void* p) noexcept {
    if (p != nullptr) {
        --s_nLiveBlocks;
        std::free(p);
    }
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    operator delete(p);
}

namespace {

constexpr float kScale = CFaceModel::kPlayerScale;
using Vertices = std::vector<std::array<uint8_t, 3>>;

// A model over exactly the given bytes, so that any read beyond them is an ASan finding.
std::unique_ptr<CFaceModel> makeModel(const std::vector<uint8_t>& bytes) {
    auto pModel = std::make_unique<CFaceModel>(bytes.data(), bytes.size());
    pModel->m_fScale = kScale;
    return pModel;
}

// The single-precision product of the scale and a whole number, rounded once.
float scaled(int n) {
    return static_cast<float>(static_cast<double>(kScale) * n);
}

void expectEntry(const ShapeEntry& e, int32_t nIndex, float x, float y, float z) {
    EXPECT_EQ(e.nIndex, nIndex);
    EXPECT_EQ(e.x, x);
    EXPECT_EQ(e.y, y);
    EXPECT_EQ(e.z, z);
}

void expectEmpty(const CFaceModel& model) {
    EXPECT_EQ(model.m_nShapes, 0);
    EXPECT_EQ(model.m_nVertices, 0);
    EXPECT_EQ(model.m_nFaces, 0);
    EXPECT_EQ(model.m_pFaces, nullptr);
    for (const FaceShape* pShape : model.m_pShapes) {
        EXPECT_EQ(pShape, nullptr);
    }
}

TEST(FaceModel, PlayerScaleIsTheSinglePrecisionConstant) {
    EXPECT_EQ(std::bit_cast<uint32_t>(kScale), 0x3B6DEA54u);
}

struct LayoutCase {
    const char* name;
    std::function<FaceBytesSpec()> spec;
    int32_t nShapes;
    int32_t nVertices;
    int32_t nFaces;
    std::vector<int32_t> targetCounts; // entries of morph targets 1 to S - 1
    int32_t nPosAfterParse;            // 6 + 3·V·S' + 3·F: the first palette byte
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class FaceModelLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(FaceModelLayout, ReadsShapesFacesThenPaletteAndTexture) {
    const LayoutCase& c = GetParam();
    const FaceBytesSpec spec = c.spec();
    const std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    auto pModel = makeModel(bytes);
    ASSERT_TRUE(pModel->Parse());

    EXPECT_EQ(pModel->m_nMagic1, 'M');
    EXPECT_EQ(pModel->m_nMagic2, 'F');
    EXPECT_EQ(pModel->m_nVersion, spec.version);
    EXPECT_EQ(pModel->m_nShapes, c.nShapes);
    EXPECT_EQ(pModel->m_nVertices, c.nVertices);
    EXPECT_EQ(pModel->m_nFaces, c.nFaces);
    EXPECT_EQ(pModel->m_nPos, c.nPosAfterParse);

    // The base shape exists in every parsed model; slots past the last target stay empty.
    ASSERT_NE(pModel->m_pShapes[0], nullptr);
    EXPECT_EQ(pModel->m_pShapes[0]->nCount, c.nVertices);
    for (int t = 1; t < CFaceModel::kMaxShapes; ++t) {
        SCOPED_TRACE(t);
        if (t <= static_cast<int>(c.targetCounts.size())) {
            ASSERT_NE(pModel->m_pShapes[t], nullptr);
            EXPECT_EQ(pModel->m_pShapes[t]->nCount, c.targetCounts[t - 1]);
            EXPECT_EQ(pModel->m_pShapes[t]->pEntries == nullptr, c.targetCounts[t - 1] == 0);
        } else {
            EXPECT_EQ(pModel->m_pShapes[t], nullptr);
        }
    }
    for (int32_t i = 0; i < c.nFaces; ++i) {
        const auto& f = spec.faces[i];
        expectEntry(pModel->m_pFaces[i], i, f[0], f[1], f[2]);
    }

    // Scene construction then reads the palette, red, green, blue in turn, and the texture.
    std::vector<uint8_t> read;
    for (int k = 0; k < 768 + 65536; ++k) {
        int nValue = -1;
        pModel->ReadByte(&nValue);
        read.push_back(static_cast<uint8_t>(nValue));
    }
    EXPECT_EQ(pModel->m_nPos, static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(std::equal(read.begin(), read.end(), bytes.end() - read.size()));
}

FaceBytesSpec smallWith(const std::function<void(FaceBytesSpec&)>& change) {
    FaceBytesSpec spec = SmallFaceSpec();
    change(spec);
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Faces, FaceModelLayout,
    testing::Values(
        LayoutCase{"BaseAndThreeTargets", [] { return SmallFaceSpec(); }, 4, 4, 2, {1, 1, 1}, 60},
        // S = 0 reads like S = 1: the base shape and no target.
        LayoutCase{"ShapeCountZero",
                   [] {
                       return smallWith([](FaceBytesSpec& s) {
                           s.shapes.resize(1);
                           s.shapeCount = 0;
                       });
                   },
                   0,
                   4,
                   2,
                   {},
                   24},
        LayoutCase{"OneShape",
                   [] { return smallWith([](FaceBytesSpec& s) { s.shapes.resize(1); }); },
                   1,
                   4,
                   2,
                   {},
                   24},
        // V = 0: the face count follows the header, every shape is empty.
        LayoutCase{"NoVertices",
                   [] {
                       FaceBytesSpec s;
                       s.shapes = {Vertices{}, Vertices{}, Vertices{}};
                       return s;
                   },
                   3,
                   0,
                   0,
                   {0, 0},
                   6},
        LayoutCase{"NoFaces",
                   [] { return smallWith([](FaceBytesSpec& s) { s.faces.clear(); }); },
                   4,
                   4,
                   0,
                   {1, 1, 1},
                   54},
        // A target equal to the base still stores its bytes but has no entries.
        LayoutCase{"UnchangedTarget",
                   [] { return smallWith([](FaceBytesSpec& s) { s.shapes[2] = s.shapes[0]; }); },
                   4,
                   4,
                   2,
                   {1, 0, 1},
                   60},
        LayoutCase{"LargestFace",
                   [] {
                       FaceBytesSpec s;
                       s.shapes.assign(10, Vertices(200, {7, 8, 9}));
                       s.shapes[9][199] = {7, 8, 10};
                       s.faces = {{0, 199, 100}};
                       s.version = 100;
                       return s;
                   },
                   10,
                   200,
                   1,
                   {0, 0, 0, 0, 0, 0, 0, 0, 1},
                   6 + 3 * 200 * 10 + 3}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

struct ConversionCase {
    const char* name;
    std::array<uint8_t, 3> bytes;
    int x, y, z; // whole numbers of grid steps that the scale multiplies
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.name;
}

class FaceModelConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(FaceModelConversion, BaseAndTargetBecomeScaledModelSpace) {
    const ConversionCase& c = GetParam();
    FaceBytesSpec spec;
    // Vertex 0 of the base and vertex 1 of the target hold the record under test.
    spec.shapes = {Vertices{c.bytes, {10, 20, 30}}, Vertices{{10, 20, 30}, c.bytes}};
    const std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    auto pModel = makeModel(bytes);
    ASSERT_TRUE(pModel->Parse());

    expectEntry(pModel->m_pShapes[0]->pEntries[0], 0, scaled(c.x), scaled(c.y), scaled(c.z));
    ASSERT_EQ(pModel->m_pShapes[1]->nCount, 2);
    expectEntry(pModel->m_pShapes[1]->pEntries[1], 1, scaled(c.x), scaled(c.y), scaled(c.z));
    expectEntry(pModel->m_pShapes[1]->pEntries[0], 0, scaled(-118), scaled(108), scaled(-30));
}

INSTANTIATE_TEST_SUITE_P(Records, FaceModelConversion,
                         testing::Values(ConversionCase{"Origin", {128, 128, 0}, 0, 0, 0},
                                         ConversionCase{"Zeros", {0, 0, 0}, -128, 128, 0},
                                         ConversionCase{"Max", {255, 255, 255}, 127, -127, -255}),
                         [](const testing::TestParamInfo<ConversionCase>& info) {
                             return info.param.name;
                         });

TEST(FaceModel, TargetEntryHoldsTheWholePositionOfAVertexMovedInZAlone) {
    FaceBytesSpec spec;
    spec.shapes = {Vertices{{100, 100, 50}, {1, 1, 1}}, Vertices{{100, 100, 51}, {1, 1, 1}}};
    const std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    auto pModel = makeModel(bytes);
    ASSERT_TRUE(pModel->Parse());
    ASSERT_EQ(pModel->m_pShapes[1]->nCount, 1);
    expectEntry(pModel->m_pShapes[1]->pEntries[0], 0, scaled(-28), scaled(28), scaled(-51));
}

TEST(FaceModel, VersionAndBytesAfterTheTextureDoNotChangeTheParse) {
    // The player's face buffer: the file at its start, stale bytes after it.
    for (uint8_t version : {0, 1, 100}) {
        SCOPED_TRACE(static_cast<int>(version));
        FaceBytesSpec spec = SmallFaceSpec();
        spec.version = version;
        std::vector<uint8_t> buffer = MakeFaceBytes(spec);
        const size_t nFile = buffer.size();
        buffer.resize(kFaceBufferBytes, 0xAB);
        CFaceModel model(buffer.data()); // reads within the whole 80,000-byte buffer
        model.m_fScale = kScale;
        ASSERT_TRUE(model.Parse());
        EXPECT_EQ(model.m_nVersion, version);
        EXPECT_EQ(model.m_nPos, 60);
        expectEntry(model.m_pShapes[3]->pEntries[0], 2, scaled(52), scaled(-52), scaled(-10));
        int nValue = 0;
        for (size_t k = 60; k < nFile; ++k) {
            model.ReadByte(&nValue);
        }
        EXPECT_EQ(model.m_nPos, static_cast<int32_t>(nFile));
    }
}

struct RefusalCase {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class FaceModelRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(FaceModelRefusal, ReturnsFalseAndLeavesTheModelEmpty) {
    const std::vector<uint8_t> bytes = GetParam().bytes();
    ASSERT_FALSE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);
    auto pModel = makeModel(bytes);
    EXPECT_FALSE(pModel->Parse());
    expectEmpty(*pModel);

    // A model that held a face before gives it up when new bytes are refused.
    const std::vector<uint8_t> good = MakeFaceBytes(SmallFaceSpec());
    CFaceModel model(good.data(), good.size());
    ASSERT_TRUE(model.Parse());
    model.m_pData = bytes.data();
    model.m_nDataBytes = bytes.size();
    EXPECT_FALSE(model.Parse());
    expectEmpty(model);
}

std::vector<uint8_t> smallBytesWith(const std::function<void(std::vector<uint8_t>&)>& change) {
    std::vector<uint8_t> bytes = MakeFaceBytes(SmallFaceSpec());
    change(bytes);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, FaceModelRefusal,
    testing::Values(
        RefusalCase{"OneByte", [] { return std::vector<uint8_t>{'M'}; }},
        RefusalCase{"NoMagic",
                    [] { return smallBytesWith([](std::vector<uint8_t>& b) { b[1] = 'X'; }); }},
        RefusalCase{"Version101",
                    [] { return smallBytesWith([](std::vector<uint8_t>& b) { b[2] = 101; }); }},
        // A header that claims more than its bytes hold: never completed from beyond them.
        RefusalCase{"TruncatedTexture",
                    [] { return smallBytesWith([](std::vector<uint8_t>& b) { b.pop_back(); }); }},
        RefusalCase{"TruncatedShapes",
                    [] { return smallBytesWith([](std::vector<uint8_t>& b) { b.resize(20); }); }},
        RefusalCase{"MoreVerticesThanTheTransferArray",
                    [] {
                        FaceBytesSpec s;
                        s.shapes = {Vertices(201, {1, 2, 3})};
                        return MakeFaceBytes(s);
                    }},
        RefusalCase{"MoreShapesThanTheSlots",
                    [] {
                        FaceBytesSpec s;
                        s.shapes.assign(11, Vertices{{1, 2, 3}});
                        return MakeFaceBytes(s);
                    }},
        RefusalCase{"FaceNamesAMissingVertex",
                    [] {
                        FaceBytesSpec s = SmallFaceSpec();
                        s.faces[0] = {0, 1, 4};
                        return MakeFaceBytes(s);
                    }}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

struct DestructionCase {
    const char* name;
    std::function<FaceBytesSpec()> spec;
};

void PrintTo(const DestructionCase& c, std::ostream* os) {
    *os << c.name;
}

class FaceModelDestruction : public testing::TestWithParam<DestructionCase> {};

TEST_P(FaceModelDestruction, FreesExactlyWhatTheParseMade) {
    const std::vector<uint8_t> bytes = MakeFaceBytes(GetParam().spec());
    long nBefore = 0;
    long nAfterParse = 0;
    long nAfterReparse = 0;
    long nAfterDestruction = 0;
    {
        CFaceModel* pModel = new CFaceModel(bytes.data(), bytes.size());
        nBefore = s_nLiveBlocks;
        ASSERT_TRUE(pModel->Parse());
        nAfterParse = s_nLiveBlocks;
        ASSERT_TRUE(pModel->Parse());
        nAfterReparse = s_nLiveBlocks;
        delete pModel;
        nAfterDestruction = s_nLiveBlocks;
    }
    EXPECT_GT(nAfterParse, nBefore); // the base shape at least
    EXPECT_EQ(nAfterReparse, nAfterParse);
    EXPECT_EQ(nAfterDestruction, nBefore - 1); // the model record itself went too
}

INSTANTIATE_TEST_SUITE_P(
    Faces, FaceModelDestruction,
    testing::Values(DestructionCase{"BaseAndThreeTargets", [] { return SmallFaceSpec(); }},
                    DestructionCase{"ShapeCountZero",
                                    [] {
                                        return smallWith([](FaceBytesSpec& s) {
                                            s.shapes.resize(1);
                                            s.shapeCount = 0;
                                        });
                                    }},
                    DestructionCase{"NoVerticesNoFaces",
                                    [] {
                                        FaceBytesSpec s;
                                        s.shapes = {Vertices{}, Vertices{}};
                                        return s;
                                    }},
                    DestructionCase{"LargestFace",
                                    [] {
                                        FaceBytesSpec s;
                                        s.shapes.assign(10, Vertices(200, {7, 8, 9}));
                                        for (int t = 1; t < 10; ++t) {
                                            s.shapes[t][t * 20] = {1, 1, 1};
                                        }
                                        return s;
                                    }}),
    [](const testing::TestParamInfo<DestructionCase>& info) { return info.param.name; });

TEST(FaceModel, ModelNeverParsedFreesNothing) {
    const long nBefore = s_nLiveBlocks;
    CFaceModel* pModel = new CFaceModel(nullptr);
    delete pModel;
    EXPECT_EQ(s_nLiveBlocks, nBefore);
}

} // namespace
