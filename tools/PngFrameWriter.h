#pragma once
// Writes rendered frames as PNG files (8-bit RGB, no row filter, zlib at its fastest level).
// One writer keeps its deflate stream and buffers from frame to frame, so a long run of
// frames costs little more than the compression itself: a general PNG encoder sets up and
// tears down a few hundred kilobytes of state per image, and that dominated the renderer.
//
// Failure: Write returns false when the file cannot be created or written completely, or
// when zlib fails; a partial file may be left behind.

#include <cstdint>
#include <string>
#include <vector>

struct z_stream_s;

class PngFrameWriter {
public:
    PngFrameWriter();
    ~PngFrameWriter();
    PngFrameWriter(const PngFrameWriter&) = delete;
    PngFrameWriter& operator=(const PngFrameWriter&) = delete;

    // pixels: width x height words 0xAARRGGBB (alpha ignored), rows from the top, `stride`
    // bytes from one row to the next. width and height are 1 or more (asserted).
    bool Write(const std::string& path, const uint32_t* pixels, int width, int height, int stride);

private:
    z_stream_s* m_pStream = nullptr;   // owned; reset for every image
    bool m_bStreamReady = false;       // deflateInit succeeded
    std::vector<uint8_t> m_raw;        // the image as PNG scanlines: filter byte, then RGB
    std::vector<uint8_t> m_compressed; // the IDAT payload
    std::vector<uint8_t> m_file;       // the whole file
};
