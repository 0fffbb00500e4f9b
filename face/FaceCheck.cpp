#include "FaceCheck.h"

#include "FaceModel.h"

#include <algorithm>

FaceCheckResult CheckFaceBytes(const uint8_t* pBytes, size_t n) {
    auto refuse = [](std::string reason) { return FaceCheckResult{false, std::move(reason)}; };
    if (n < 3) {
        return refuse("shorter than 3 bytes");
    }
    if (pBytes[0] != 'M' || pBytes[1] != 'F') {
        return refuse("not a face file (no \"MF\" magic)");
    }
    if (pBytes[2] > kFaceMaxVersion) {
        return refuse("version " + std::to_string(pBytes[2]) + " is newer than 100");
    }
    if (n < 5) {
        return refuse("truncated header");
    }
    const size_t shapes = pBytes[3];
    const size_t vertices = pBytes[4];
    if (vertices > static_cast<size_t>(CFaceModel::kMaxVertices)) {
        return refuse("more than 200 vertices (" + std::to_string(vertices) + ")");
    }
    if (shapes > static_cast<size_t>(CFaceModel::kMaxShapes)) {
        return refuse("more than 10 shapes (" + std::to_string(shapes) + ")");
    }
    // The base shape is stored even when the shape count is 0.
    const size_t storedShapes = std::max<size_t>(shapes, 1);
    const size_t faceCountAt = 5 + 3 * vertices * storedShapes;
    if (n <= faceCountAt) {
        return refuse("truncated: ends inside the shapes");
    }
    const size_t faces = pBytes[faceCountAt];
    const size_t needed = kFaceFixedBytes + 3 * vertices * storedShapes + 3 * faces;
    if (n < needed) {
        return refuse("truncated: " + std::to_string(n) + " of " + std::to_string(needed) +
                      " bytes");
    }
    const uint8_t* pFace = pBytes + faceCountAt + 1;
    for (size_t i = 0; i < 3 * faces; ++i) {
        if (pFace[i] >= vertices) {
            return refuse("face " + std::to_string(i / 3) + " names vertex " +
                          std::to_string(pFace[i]) + " of " + std::to_string(vertices));
        }
    }
    return {true, {}};
}
