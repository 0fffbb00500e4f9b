#include "FaceModel.h"

#include <cassert>

namespace {

// Reads one three-byte record at *pPos (a vertex x, y, z or a face a, b, c) as raw floats.
ShapeEntry readRecord(const uint8_t* pData, int32_t* pPos, int32_t nIndex) {
    const uint8_t* p = pData + *pPos;
    *pPos += 3;
    return {nIndex, static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
}

// Turns raw grid bytes into model space. Each step is stored as a float before the next,
// so every coordinate is the single-precision product of the scale and a whole number.
void toModelSpace(FaceShape* pShape, float fScale) {
    for (int32_t i = 0; i < pShape->nCount; ++i) {
        ShapeEntry& e = pShape->pEntries[i];
        const float fX = e.x - 128.0f; // -128..127, exact
        float fY = e.y - 128.0f;       // -128..127, exact
        fY = -fY;                      // a larger y byte lies lower
        const float fZ = -e.z;         // a larger z byte lies further back
        e.x = fX * fScale;
        e.y = fY * fScale;
        e.z = fZ * fScale;
    }
}

} // namespace

CFaceModel::~CFaceModel() {
    Clear();
}

void CFaceModel::Clear() {
    delete[] m_pFaces;
    m_pFaces = nullptr;
    for (FaceShape*& pShape : m_pShapes) {
        if (pShape != nullptr) {
            delete[] pShape->pEntries;
            delete pShape;
            pShape = nullptr;
        }
    }
    m_nMagic1 = m_nMagic2 = m_nVersion = 0;
    m_nVertices = m_nFaces = m_nShapes = 0;
    m_nPos = 0;
}

bool CFaceModel::Parse() {
    Clear();
    assert(m_pData != nullptr);
    // The check guarantees the whole layout lies within the m_nDataBytes bytes, at most 200
    // vertices, at most 10 shapes and face vertex numbers below V: no read below can leave
    // the block and no write can leave the arrays.
    if (m_pData == nullptr || !CheckFaceBytes(m_pData, m_nDataBytes).accepted) {
        return false;
    }

    m_nPos = 0;
    m_nMagic1 = m_pData[m_nPos++];
    m_nMagic2 = m_pData[m_nPos++];
    m_nVersion = m_pData[m_nPos++];
    m_nShapes = m_pData[m_nPos++];
    m_nVertices = m_pData[m_nPos++];
    const int32_t nVertices = m_nVertices;

    // The base shape is stored and read even when the shape count is 0.
    FaceShape* pBase = new FaceShape;
    m_pShapes[0] = pBase;
    pBase->nCount = nVertices;
    pBase->pEntries = nVertices > 0 ? new ShapeEntry[nVertices] : nullptr;
    for (int32_t i = 0; i < nVertices; ++i) {
        pBase->pEntries[i] = readRecord(m_pData, &m_nPos, i);
    }

    // Each morph target keeps only the vertices whose stored bytes differ from the base's,
    // in a list of exactly that length.
    ShapeEntry scratch[kMaxVertices];
    for (int32_t t = 1; t < m_nShapes; ++t) {
        int32_t nMoved = 0;
        for (int32_t j = 0; j < nVertices; ++j) {
            const ShapeEntry v = readRecord(m_pData, &m_nPos, j);
            const ShapeEntry& b = pBase->pEntries[j];
            if (v.x != b.x || v.y != b.y || v.z != b.z) {
                scratch[nMoved++] = v;
            }
        }
        FaceShape* pTarget = new FaceShape;
        m_pShapes[t] = pTarget;
        pTarget->nCount = nMoved;
        pTarget->pEntries = nMoved > 0 ? new ShapeEntry[nMoved] : nullptr;
        for (int32_t k = 0; k < nMoved; ++k) {
            pTarget->pEntries[k] = scratch[k];
        }
    }

    // The faces: {triangle number, a, b, c}, the vertex numbers held as floats.
    m_nFaces = m_pData[m_nPos++];
    m_pFaces = m_nFaces > 0 ? new ShapeEntry[m_nFaces] : nullptr;
    for (int32_t i = 0; i < m_nFaces; ++i) {
        m_pFaces[i] = readRecord(m_pData, &m_nPos, i);
    }

    // Differences between targets and base were decided on the raw bytes above; only now do
    // the positions move to model space.
    for (int32_t t = 0; t < m_nShapes || t == 0; ++t) {
        toModelSpace(m_pShapes[t], m_fScale);
    }
    return true;
}

void CFaceModel::ReadByte(int* pValue) {
    assert(m_pData != nullptr);
    assert(m_nPos >= 0 && static_cast<size_t>(m_nPos) < m_nDataBytes);
    *pValue = m_pData[m_nPos++];
}
