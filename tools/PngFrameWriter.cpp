#include "PngFrameWriter.h"

#include <zlib.h>

#include <cassert>
#include <cstdio>
#include <cstring>

namespace {

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// One chunk: length, type, data, and the CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    PutBigEndian32(out, uint32_t(size));
    const size_t typeAt = out.size();
    for (int i = 0; i < 4; ++i) {
        out.push_back(uint8_t(type[i]));
    }
    if (size > 0) {
        out.insert(out.end(), data, data + size);
    }
    const uLong crc = crc32(0L, out.data() + typeAt, uInt(4 + size));
    PutBigEndian32(out, uint32_t(crc));
}

} // namespace

PngFrameWriter::PngFrameWriter() : m_pStream(new z_stream{}) {
    // Level 1, the fastest that still compresses: a frame is mostly background, which it
    // packs to about an eighth of its size; higher levels cost several times as much for little
    // more.
    m_bStreamReady = deflateInit2(m_pStream, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

PngFrameWriter::~PngFrameWriter() {
    if (m_bStreamReady) {
        deflateEnd(m_pStream);
    }
    delete m_pStream;
}

bool PngFrameWriter::Write(const std::string& path, const uint32_t* pixels, int width, int height,
                           int stride) {
    assert(width > 0 && height > 0 && stride >= width * 4);
    if (!m_bStreamReady) {
        return false;
    }
    // Scanlines: filter type 0 (none), then red, green, blue of each pixel.
    const size_t rowBytes = 1 + size_t(width) * 3;
    m_raw.resize(rowBytes * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint32_t* pRow = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * size_t(stride));
        uint8_t* pOut = m_raw.data() + size_t(y) * rowBytes;
        *pOut++ = 0;
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = pRow[x];
            *pOut++ = uint8_t(argb >> 16);
            *pOut++ = uint8_t(argb >> 8);
            *pOut++ = uint8_t(argb);
        }
    }

    if (deflateReset(m_pStream) != Z_OK) {
        return false;
    }
    m_compressed.resize(deflateBound(m_pStream, uLong(m_raw.size())));
    m_pStream->next_in = m_raw.data();
    m_pStream->avail_in = uInt(m_raw.size());
    m_pStream->next_out = m_compressed.data();
    m_pStream->avail_out = uInt(m_compressed.size());
    // deflateBound guarantees room for the whole stream in one call.
    if (deflate(m_pStream, Z_FINISH) != Z_STREAM_END) {
        return false;
    }
    const size_t compressedSize = m_compressed.size() - m_pStream->avail_out;

    // Signature, IHDR (13 bytes: width, height, bit depth 8, colour type 2 = RGB,
    // compression 0, filter method 0, no interlace), one IDAT, IEND.
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    m_file.resize(sizeof(kSignature));
    std::memcpy(m_file.data(), kSignature, sizeof(kSignature));
    const uint8_t header[13] = {uint8_t(width >> 24),
                                uint8_t(width >> 16),
                                uint8_t(width >> 8),
                                uint8_t(width),
                                uint8_t(height >> 24),
                                uint8_t(height >> 16),
                                uint8_t(height >> 8),
                                uint8_t(height),
                                8,
                                2,
                                0,
                                0,
                                0};
    PutChunk(m_file, "IHDR", header, sizeof(header));
    PutChunk(m_file, "IDAT", m_compressed.data(), compressedSize);
    PutChunk(m_file, "IEND", nullptr, 0);

    FILE* pFile = std::fopen(path.c_str(), "wb");
    if (!pFile) {
        return false;
    }
    const bool bWritten = std::fwrite(m_file.data(), 1, m_file.size(), pFile) == m_file.size();
    return std::fclose(pFile) == 0 && bWritten;
}
