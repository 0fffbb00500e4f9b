// Fuzz target for the face bytes: the face check, the parser with the palette and texture
// reads that follow it, and the re-indexing of the morph targets to a mesh.
//
// Any bytes: the check and the parser must agree, no read may leave the bytes given, and
// re-indexing must leave every target entry naming a mesh vertex below V.

#include "FaceCheck.h"
#include "FaceModel.h"
#include "MorphRemap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// Group 0 of a mesh, as a plain list of vertex records.
class FuzzMesh final : public rm::MeshVertices {
public:
    rm::Result GetVertices(uint32_t group, uint32_t first, uint32_t count,
                           rm::Vertex* vertices) override {
        if (group != 0 || first > m_vertices.size() || count > m_vertices.size() - first) {
            return rm::kFail;
        }
        std::copy_n(m_vertices.begin() + first, count, vertices);
        return rm::kOk;
    }
    rm::Result SetVertices(uint32_t, uint32_t, uint32_t, const rm::Vertex*) override {
        return rm::kFail;
    }

    std::vector<rm::Vertex> m_vertices;
};

void require(bool bCondition) {
    if (!bCondition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // The player reads at most 79,999 bytes. An exact-size copy makes any read beyond the
    // bytes an AddressSanitizer finding.
    const size_t n = std::min(nSize, kFaceReadLimit);
    std::unique_ptr<uint8_t[]> pBytes(new uint8_t[n]);
    std::copy_n(pData, n, pBytes.get());

    const FaceCheckResult check = CheckFaceBytes(pBytes.get(), n);
    require(check.accepted == check.reason.empty());

    CFaceModel model(pBytes.get(), n);
    model.m_fScale = CFaceModel::kPlayerScale;
    const bool bParsed = model.Parse();
    require(bParsed == check.accepted);
    if (!bParsed) {
        return 0;
    }

    // The palette and the texture follow the faces and end the layout.
    const int32_t nVertices = model.m_nVertices;
    const int32_t nStored = std::max(model.m_nShapes, 1) * nVertices;
    require(model.m_nPos == 6 + 3 * nStored + 3 * model.m_nFaces);
    int nValue = 0;
    for (int k = 0; k < 768 + 65536; ++k) {
        model.ReadByte(&nValue);
    }
    require(static_cast<size_t>(model.m_nPos) <= n);

    // A mesh made of the base positions, turned, reversed or cut short as the last bytes say.
    FuzzMesh mesh;
    for (int32_t i = 0; i < nVertices; ++i) {
        const ShapeEntry& b = model.m_pShapes[0]->pEntries[i];
        rm::Vertex v;
        v.position = {b.x, b.y, b.z};
        mesh.m_vertices.push_back(v);
    }
    const uint8_t nRule = pBytes[n - 1];
    if (nVertices > 0) {
        std::rotate(mesh.m_vertices.begin(), mesh.m_vertices.begin() + pBytes[n - 2] % nVertices,
                    mesh.m_vertices.end());
    }
    if (nRule & 1) {
        std::reverse(mesh.m_vertices.begin(), mesh.m_vertices.end());
    }
    if ((nRule & 2) && nVertices > 0) {
        mesh.m_vertices.pop_back();
    }
    RemapMorphTargets(model, mesh, 0);

    for (int32_t t = 1; t < model.m_nShapes; ++t) {
        const FaceShape* pTarget = model.m_pShapes[t];
        require(pTarget != nullptr && pTarget->nCount <= nVertices);
        for (int32_t k = 0; k < pTarget->nCount; ++k) {
            require(pTarget->pEntries[k].nIndex >= 0 && pTarget->pEntries[k].nIndex < nVertices);
        }
    }
    return 0;
}
