#pragma once
// A minimal PNG writer and reader for the golden images: 8-bit RGBA, no filtering, stored
// (uncompressed) deflate blocks. The reader accepts only what the writer produces.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace enginetest {

struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, rows from the top
};

bool writePng(const std::string& path, const PixelImage& image);
// Empty when the file is missing or not in the writer's format.
std::optional<PixelImage> readPng(const std::string& path);

} // namespace enginetest
