#pragma once
// Says whether the player can show a face file, given its bytes as read.

#include <cstddef>
#include <cstdint>
#include <string>

struct FaceCheckResult {
    bool accepted = false;
    std::string reason; // empty when accepted; a short phrase for the user otherwise
};

// The face layout: 66,310 + 3·V·S' + 3·F bytes, S' = max(S, 1).
// 66,310 = 5 header + 1 face count + 768 palette + 65,536 texture.
constexpr size_t kFaceFixedBytes = 66310;
constexpr int kFaceMaxVersion = 100;
// Loading reads at most this many bytes into a block of kFaceBufferBytes.
constexpr size_t kFaceReadLimit = 79999;
constexpr size_t kFaceBufferBytes = 80000;

// Checks the first n bytes of a face file: magic "MF", version at most 100, at most 200
// vertices and 10 shapes, the whole layout present, every face's vertex numbers below V.
FaceCheckResult CheckFaceBytes(const uint8_t* pBytes, size_t n);
