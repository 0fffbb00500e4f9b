#pragma once
// The sample faces made for this project, complete face files the player shows as they are.
// Variant 1 is fair-skinned with chestnut hair and blue eyes, variant 2 brown-skinned with
// black hair in a fringe and brown eyes; both share one head.

#include <cstdint>
#include <vector>

constexpr int kSampleVariantCount = 2;
constexpr uint8_t kSampleFaceVersion = 1;

// The bytes of the face file of variant 1 or 2 (asserted): header, the rest shape and
// targets 1 (mouth wide open), 2 (mouth half open) and 3 (eyes closed), the triangles, the
// palette and the texture. The same bytes on every call and every run.
std::vector<uint8_t> MakeSampleFace(int variant);
