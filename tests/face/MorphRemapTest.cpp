#include "MorphRemap.h"
#include "FaceBytes.h"
#include "FaceModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace {

using Vertices = std::vector<std::array<uint8_t, 3>>;

// Group 0 of a mesh, in an order the test chooses. The re-indexing only reads it.
class FakeMesh final : public rm::MeshVertices {
public:
    explicit FakeMesh(std::vector<rm::Vertex> vertices) : m_vertices(std::move(vertices)) {}

    rm::Result GetVertices(uint32_t group, uint32_t first, uint32_t count,
                           rm::Vertex* vertices) override {
        if (group != 0 || first > m_vertices.size() || count > m_vertices.size() - first) {
            return rm::kFail;
        }
        std::copy_n(m_vertices.begin() + first, count, vertices);
        return rm::kOk;
    }
    rm::Result SetVertices(uint32_t, uint32_t, uint32_t, const rm::Vertex*) override {
        ++m_nWrites;
        return rm::kOk;
    }

    std::vector<rm::Vertex> m_vertices;
    int m_nWrites = 0;
};

// A parsed face over bytes that live as long as it does.
struct ParsedFace {
    explicit ParsedFace(const FaceBytesSpec& spec)
        : m_bytes(MakeFaceBytes(spec)), m_model(m_bytes.data(), m_bytes.size()) {
        m_model.m_fScale = CFaceModel::kPlayerScale;
    }
    std::vector<uint8_t> m_bytes;
    CFaceModel m_model;
};

using Shapes = std::vector<std::vector<ShapeEntry>>;

Shapes shapesOf(const CFaceModel& model) {
    Shapes shapes;
    for (const FaceShape* pShape : model.m_pShapes) {
        if (pShape != nullptr) {
            shapes.emplace_back(pShape->pEntries, pShape->pEntries + pShape->nCount);
        }
    }
    return shapes;
}

void expectSameShapes(const Shapes& actual, const Shapes& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t t = 0; t < actual.size(); ++t) {
        ASSERT_EQ(actual[t].size(), expected[t].size()) << "shape " << t;
        for (size_t k = 0; k < actual[t].size(); ++k) {
            SCOPED_TRACE(testing::Message() << "shape " << t << " entry " << k);
            EXPECT_EQ(actual[t][k].nIndex, expected[t][k].nIndex);
            EXPECT_EQ(actual[t][k].x, expected[t][k].x);
            EXPECT_EQ(actual[t][k].y, expected[t][k].y);
            EXPECT_EQ(actual[t][k].z, expected[t][k].z);
        }
    }
}

constexpr int kNowhere = -1; // a mesh vertex at a position no base vertex has

// The mesh's group 0: vertex j at the parsed position of file vertex order[j].
std::vector<rm::Vertex> meshFrom(const CFaceModel& model, const std::vector<int>& order) {
    std::vector<rm::Vertex> vertices;
    for (int k : order) {
        rm::Vertex v;
        if (k == kNowhere) {
            v.position = {9.0f, 9.0f, 9.0f};
        } else {
            const ShapeEntry& b = model.m_pShapes[0]->pEntries[k];
            v.position = {b.x, b.y, b.z};
        }
        v.tu = 0.25f; // never read back into the model
        vertices.push_back(v);
    }
    return vertices;
}

struct RemapCase {
    const char* name;
    FaceBytesSpec spec;
    std::vector<int> meshOrder; // mesh vertex j holds file vertex meshOrder[j]
    // For each morph target, the mesh vertex numbers of its entries after re-indexing.
    std::vector<std::vector<int32_t>> targetIndices;
};

void PrintTo(const RemapCase& c, std::ostream* os) {
    *os << c.name;
}

class MorphRemap : public testing::TestWithParam<RemapCase> {};

TEST_P(MorphRemap, TargetsBecomeDifferencesKeyedByMeshVertex) {
    const RemapCase& c = GetParam();
    ParsedFace face(c.spec);
    CFaceModel& model = face.m_model;
    ASSERT_TRUE(model.Parse());
    const Shapes parsed = shapesOf(model);
    FakeMesh mesh(meshFrom(model, c.meshOrder));
    const std::vector<rm::Vertex> meshBefore = mesh.m_vertices;

    RemapMorphTargets(model, mesh, 0);

    // The base shape is the rest positions of mesh vertices 0 to V - 1; every target entry is
    // its parsed position minus the rest position of the mesh vertex it now names.
    Shapes expected(parsed.size());
    for (int32_t i = 0; i < model.m_nVertices; ++i) {
        const rm::Vector& p = meshBefore[i].position;
        expected[0].push_back({i, p.x, p.y, p.z});
    }
    ASSERT_EQ(parsed.size(), c.targetIndices.size() + 1);
    for (size_t t = 1; t < parsed.size(); ++t) {
        ASSERT_EQ(parsed[t].size(), c.targetIndices[t - 1].size()) << "target " << t;
        for (size_t k = 0; k < parsed[t].size(); ++k) {
            const int32_t j = c.targetIndices[t - 1][k];
            const rm::Vector& rest = meshBefore[j].position;
            expected[t].push_back(
                {j, parsed[t][k].x - rest.x, parsed[t][k].y - rest.y, parsed[t][k].z - rest.z});
        }
    }
    expectSameShapes(shapesOf(model), expected);
    EXPECT_EQ(mesh.m_nWrites, 0);
}

// Four distinct vertices; target t moves vertex t - 1.
FaceBytesSpec small() {
    return SmallFaceSpec();
}

FaceBytesSpec smallWithShapes(size_t nShapes, int nShapeCount = -1) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.shapes.resize(nShapes);
    spec.shapeCount = nShapeCount;
    return spec;
}

FaceBytesSpec smallWithUnchangedTarget2() {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.shapes[2] = spec.shapes[0];
    return spec;
}

// Six distinct vertices; target 1 moves 3 and 5, target 2 moves 0 and 3, target 3 moves 1.
FaceBytesSpec sixVertices() {
    FaceBytesSpec spec;
    const Vertices base = {{10, 10, 1}, {20, 10, 1}, {30, 10, 1},
                           {10, 20, 1}, {20, 20, 1}, {30, 20, 1}};
    spec.shapes = {base, base, base, base};
    spec.shapes[1][3] = {11, 21, 2};
    spec.shapes[1][5] = {31, 21, 3};
    spec.shapes[2][0] = {9, 9, 0};
    spec.shapes[2][3] = {10, 25, 1};
    spec.shapes[3][1] = {20, 10, 7};
    spec.faces = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}};
    return spec;
}

// File vertex 3 lies where file vertex 1 lies; target 1 moves 3, target 2 moves 1.
FaceBytesSpec sharedPosition() {
    FaceBytesSpec spec = SmallFaceSpec();
    const Vertices base = {{64, 64, 10}, {192, 64, 10}, {192, 192, 10}, {192, 64, 10}};
    spec.shapes = {base, base, base};
    spec.shapes[1][3] = {100, 100, 100};
    spec.shapes[2][1] = {150, 90, 10};
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Meshes, MorphRemap,
    testing::Values(
        RemapCase{"BuilderOrder", small(), {0, 1, 2, 3}, {{0}, {1}, {2}}},
        // File 3 is now mesh 5 and file 5 mesh 3: their entries swap numbers, once.
        RemapCase{"PermutedWithSwap", sixVertices(), {2, 0, 1, 5, 4, 3}, {{5, 3}, {1, 5}, {2}}},
        RemapCase{"TwoBaseVerticesAtOnePosition", sharedPosition(), {0, 1, 2, 3}, {{1}, {1}}},
        RemapCase{"EmptyTarget", smallWithUnchangedTarget2(), {0, 1, 2, 3}, {{0}, {}, {2}}},
        // No targets: only the base shape is rewritten, from the mesh's order.
        RemapCase{"OneShape", smallWithShapes(1), {3, 2, 1, 0}, {}},
        RemapCase{"ShapeCountZero", smallWithShapes(1, 0), {3, 2, 1, 0}, {}},
        // File vertex 2 has no match among mesh vertices 0 to V - 1 (its twin at 4 is never
        // fetched): its entries keep number 2 and are taken against whatever mesh 2 holds.
        RemapCase{"UnmatchedVertex", small(), {0, 1, kNowhere, 3, 2}, {{0}, {1}, {2}}}),
    [](const testing::TestParamInfo<RemapCase>& info) { return info.param.name; });

struct FailedFetchCase {
    const char* name;
    size_t nMeshVertices;
    uint32_t group;
};

void PrintTo(const FailedFetchCase& c, std::ostream* os) {
    *os << c.name;
}

class MorphRemapFailedFetch : public testing::TestWithParam<FailedFetchCase> {};

TEST_P(MorphRemapFailedFetch, LeavesTheModelUnchanged) {
    ParsedFace face(sixVertices());
    ASSERT_TRUE(face.m_model.Parse());
    const Shapes parsed = shapesOf(face.m_model);
    std::vector<int> order = {2, 0, 1, 5, 4, 3};
    order.resize(GetParam().nMeshVertices);
    FakeMesh mesh(meshFrom(face.m_model, order));

    RemapMorphTargets(face.m_model, mesh, GetParam().group);

    expectSameShapes(shapesOf(face.m_model), parsed);
}

INSTANTIATE_TEST_SUITE_P(Meshes, MorphRemapFailedFetch,
                         testing::Values(FailedFetchCase{"GroupShorterThanTheFace", 5, 0},
                                         FailedFetchCase{"EmptyGroup", 0, 0},
                                         FailedFetchCase{"NoSuchGroup", 6, 1}),
                         [](const testing::TestParamInfo<FailedFetchCase>& info) {
                             return info.param.name;
                         });

} // namespace
