#pragma once
// The parsed face: header values, a base shape, up to nine morph targets and the triangle
// list. Parse() reads the face bytes at m_pData; ReadByte() then reads the palette and the
// texture that follow. The model owns its shapes and faces list, never m_pData.

#include <cstdint>

// One vertex of a shape (vertex number and position or difference), or one triangle of
// the faces list (triangle number and its three vertex numbers held as floats).
struct ShapeEntry {
    int32_t nIndex = 0;
    float x = 0;
    float y = 0;
    float z = 0;
};

struct FaceShape {
    int32_t nCount = 0;               // number of entries
    ShapeEntry* pEntries = nullptr;   // nCount entries, owned
};

class CFaceModel {
public:
    static constexpr int kMaxShapes = 10;   // the base and nine morph targets
    static constexpr int kMaxVertices = 200; // the size of every vertex transfer

    CFaceModel() = default;
    explicit CFaceModel(const uint8_t* pData) : m_pData(pData) {}
    ~CFaceModel();
    CFaceModel(const CFaceModel&) = delete;
    CFaceModel& operator=(const CFaceModel&) = delete;

    // Reads the header, shapes and faces from m_pData, converting coordinates with m_fScale.
    // Returns false, having read nothing beyond what the face check allows, for bytes the
    // player cannot show.
    bool Parse();
    // Stores the byte at m_nPos in *pValue (0 to 255) and advances m_nPos.
    void ReadByte(int* pValue);

    float m_fScale = 0;       // model units per step of the byte grid
    int32_t m_nMagic1 = 0;    // header byte 0
    int32_t m_nMagic2 = 0;    // header byte 1
    int32_t m_nVersion = 0;   // header byte 2
    int32_t m_nVertices = 0;  // V, header byte 4
    int32_t m_nFaces = 0;     // F
    int32_t m_nShapes = 0;    // S, header byte 3, the base included
    const uint8_t* m_pData = nullptr; // the face bytes (the dialog's face buffer), not owned
    int32_t m_nPos = 0;       // offset in m_pData of the next byte to read
    FaceShape* m_pShapes[kMaxShapes] = {}; // slot 0 the base, 1..S-1 the morph targets; owned
    ShapeEntry* m_pFaces = nullptr;        // m_nFaces triangles; owned
};
