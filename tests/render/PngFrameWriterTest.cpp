// The renderer's PNG writer: what it writes reads back, through an independent PNG reader
// (Qt's), as exactly the pixels it was given, frame after frame through one writer.

#include "PngFrameWriter.h"
#include "TempDir.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Frame {
    int width = 0;
    int height = 0;
    int stride = 0;               // bytes; may leave unused words at the end of each row
    std::vector<uint32_t> pixels; // 0xAARRGGBB
};

// A frame of distinct colours in every channel, with garbage in alpha and in the padding.
Frame Pattern(int width, int height, int padWords, uint32_t seed) {
    Frame frame{width, height, (width + padWords) * 4, {}};
    frame.pixels.resize(size_t(width + padWords) * size_t(height));
    uint32_t state = seed;
    for (uint32_t& word : frame.pixels) {
        state = state * 1103515245u + 12345u;
        word = state;
    }
    return frame;
}

// A frame like the renderer's: black background with a block of one colour.
Frame Background(int width, int height) {
    Frame frame{width, height, width * 4,
                std::vector<uint32_t>(size_t(width * height), 0xFF000000)};
    for (int y = height / 4; y < height * 3 / 4; ++y) {
        for (int x = width / 3; x < width * 2 / 3; ++x) {
            frame.pixels[size_t(y * width + x)] = 0xFFE0B090;
        }
    }
    return frame;
}

void ExpectReadsBack(const std::string& path, const Frame& frame) {
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "PNG")) << path;
    ASSERT_EQ(image.width(), frame.width);
    ASSERT_EQ(image.height(), frame.height);
    int nDiffering = 0;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const uint32_t want = frame.pixels[size_t(y) * size_t(frame.stride / 4) + size_t(x)];
            nDiffering += (image.pixel(x, y) & 0xFFFFFFu) != (want & 0xFFFFFFu);
        }
    }
    EXPECT_EQ(nDiffering, 0) << path;
}

TEST(PngFrameWriter, FramesReadBackExactlyThroughOneWriter) {
    const std::vector<Frame> frames = {
        Pattern(1, 1, 0, 1),     // the smallest image
        Pattern(3, 2, 1, 2),     // odd width, padded rows
        Background(294, 230),    // the player's view size, as the renderer draws it
        Pattern(294, 230, 0, 3), // the same size with nothing to compress
        Pattern(5, 7, 3, 4),     // smaller again after a large one: no stale bytes
    };
    TempDir dir;
    PngFrameWriter writer;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string path = dir.path() + "/frame-" + std::to_string(i) + ".png";
        const Frame& frame = frames[i];
        ASSERT_TRUE(
            writer.Write(path, frame.pixels.data(), frame.width, frame.height, frame.stride));
        ExpectReadsBack(path, frame);
    }
}

TEST(PngFrameWriter, UnwritablePathFailsAndTheWriterGoesOn) {
    TempDir dir;
    PngFrameWriter writer;
    const Frame frame = Background(8, 8);
    EXPECT_FALSE(writer.Write(dir.path() + "/missing/frame.png", frame.pixels.data(), frame.width,
                              frame.height, frame.stride));
    const std::string path = dir.path() + "/frame.png";
    ASSERT_TRUE(writer.Write(path, frame.pixels.data(), frame.width, frame.height, frame.stride));
    ExpectReadsBack(path, frame);
}

} // namespace
