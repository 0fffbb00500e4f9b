#include "MorphRemap.h"

#include <cassert>

void RemapMorphTargets(CFaceModel& model, rm::MeshVertices& mesh, uint32_t group) {
    const int32_t nVertices = model.m_nVertices;
    FaceShape* pBase = model.m_pShapes[0];
    // Parse() keeps V within the fixed array and always makes the base shape.
    assert(nVertices >= 0 && nVertices <= CFaceModel::kMaxVertices);
    assert(pBase != nullptr && pBase->nCount == nVertices);
    if (nVertices < 0 || nVertices > CFaceModel::kMaxVertices || pBase == nullptr ||
        pBase->nCount != nVertices) {
        return;
    }

    rm::Vertex vertices[CFaceModel::kMaxVertices];
    if (mesh.GetVertices(group, 0, static_cast<uint32_t>(nVertices), vertices) != rm::kOk) {
        return;
    }

    // Match: base vertex i goes to the lowest-numbered mesh vertex at exactly its position,
    // or keeps its own number when there is none. Looking the new number up by the entry's
    // old one makes the renumbering one simultaneous substitution, so a vertex that takes
    // another's old number (3 -> 5 while 5 -> 3) is never renumbered twice.
    int32_t meshIndex[CFaceModel::kMaxVertices];
    for (int32_t i = 0; i < nVertices; ++i) {
        const ShapeEntry& b = pBase->pEntries[i];
        meshIndex[i] = i;
        for (int32_t j = 0; j < nVertices; ++j) {
            const rm::Vector& p = vertices[j].position;
            if (p.x == b.x && p.y == b.y && p.z == b.z) {
                meshIndex[i] = j;
                break;
            }
        }
    }

    // Differences: each target entry becomes its position minus the rest position of the
    // mesh vertex it now names.
    const int32_t nShapes =
        model.m_nShapes < CFaceModel::kMaxShapes ? model.m_nShapes : CFaceModel::kMaxShapes;
    for (int32_t t = 1; t < nShapes; ++t) {
        FaceShape* pTarget = model.m_pShapes[t];
        if (pTarget == nullptr) {
            continue;
        }
        for (int32_t k = 0; k < pTarget->nCount; ++k) {
            ShapeEntry& e = pTarget->pEntries[k];
            assert(e.nIndex >= 0 && e.nIndex < nVertices);
            e.nIndex = meshIndex[e.nIndex];
            const rm::Vector& rest = vertices[e.nIndex].position;
            e.x = e.x - rest.x;
            e.y = e.y - rest.y;
            e.z = e.z - rest.z;
        }
    }

    // Rest positions: base entry i is mesh vertex i, whichever file vertex that was.
    for (int32_t i = 0; i < nVertices; ++i) {
        const rm::Vector& p = vertices[i].position;
        pBase->pEntries[i] = {i, p.x, p.y, p.z};
    }
}
