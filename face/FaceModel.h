#pragma once
// The parsed face: header values, a base shape, up to nine morph targets and the triangle
// list. Parse() reads the face bytes at m_pData; ReadByte() then reads the palette and the
// texture that follow. The model owns its shapes and faces list, never m_pData.
//
// Parse() first runs the face check over the m_nDataBytes bytes at m_pData and refuses
// bytes that fail it, so it never reads outside that block nor writes outside the model's
// fixed arrays, whatever the bytes. A morph target the file lacks is an empty slot.

#include "FaceCheck.h"

#include <cstddef>
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
    int32_t nCount = 0;             // number of entries
    ShapeEntry* pEntries = nullptr; // nCount entries, owned
};

class CFaceModel {
public:
    static constexpr int kMaxShapes = 10;    // the base and nine morph targets
    static constexpr int kMaxVertices = 200; // the size of every vertex transfer
    // The scale the player parses with: 0.0036303 model units per grid step (0x3B6DEA54).
    static constexpr float kPlayerScale = 0.0036303f;

    CFaceModel() = default;
    explicit CFaceModel(const uint8_t* pData) : m_pData(pData) {}
    CFaceModel(const uint8_t* pData, size_t nDataBytes)
        : m_pData(pData), m_nDataBytes(nDataBytes) {}
    ~CFaceModel();
    CFaceModel(const CFaceModel&) = delete;
    CFaceModel& operator=(const CFaceModel&) = delete;

    // Reads the header, shapes and faces from m_pData, converting coordinates with m_fScale.
    // Returns false, the model left empty, for bytes the player cannot show. Parsing again
    // first frees what the previous parse made.
    bool Parse();
    // Stores the byte at m_nPos in *pValue (0 to 255) and advances m_nPos. Only for the
    // palette and texture bytes after a successful Parse(), which has checked that they exist.
    void ReadByte(int* pValue);

    float m_fScale = 0;                     // model units per step of the byte grid
    int32_t m_nMagic1 = 0;                  // header byte 0
    int32_t m_nMagic2 = 0;                  // header byte 1
    int32_t m_nVersion = 0;                 // header byte 2
    int32_t m_nVertices = 0;                // V, header byte 4
    int32_t m_nFaces = 0;                   // F
    int32_t m_nShapes = 0;                  // S, header byte 3, the base included
    const uint8_t* m_pData = nullptr;       // the face bytes (the dialog's face buffer), not owned
    size_t m_nDataBytes = kFaceBufferBytes; // bytes readable at m_pData
    int32_t m_nPos = 0;                     // offset in m_pData of the next byte to read
    FaceShape* m_pShapes[kMaxShapes] = {};  // slot 0 the base, 1..S-1 the morph targets; owned
    ShapeEntry* m_pFaces = nullptr;         // m_nFaces triangles; owned

private:
    // Frees the shapes and the faces list and empties the counts; m_pData stays.
    void Clear();
};
