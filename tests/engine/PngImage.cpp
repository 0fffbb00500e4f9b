#include "PngImage.h"

#include <array>
#include <fstream>
#include <iterator>

namespace enginetest {

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    // Bitwise CRC-32 (polynomial 0xEDB88320, reflected), as PNG chunks use.
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

uint32_t adler32(const std::vector<uint8_t>& data) {
    // Two running sums modulo 65521, the largest prime below 2^16.
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

uint32_t getBig32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBig32(out, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBig32(out, crc32(body.data(), body.size()));
}

} // namespace

bool writePng(const std::string& path, const PixelImage& image) {
    // Raw scanlines: filter byte 0, then R, G, B, A per pixel.
    std::vector<uint8_t> raw;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.pixels[size_t(y) * size_t(image.width) + size_t(x)];
            raw.insert(raw.end(),
                       {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
        }
    }
    // zlib stream: header 0x78 0x01, stored blocks of at most 65535 bytes, Adler-32.
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0); // BFINAL, BTYPE 00 (stored)
        z.insert(z.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
        pos += n;
    } while (pos < raw.size());
    putBig32(z, adler32(raw));

    std::vector<uint8_t> header;
    putBig32(header, uint32_t(image.width));
    putBig32(header, uint32_t(image.height));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, no filter, no interlace

    std::vector<uint8_t> file(kSignature, kSignature + 8);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", z);
    putChunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), long(file.size()));
    return bool(out);
}

std::optional<PixelImage> readPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) {
        return std::nullopt;
    }
    PixelImage image;
    std::vector<uint8_t> z;
    for (size_t pos = 8; pos + 12 <= file.size();) {
        uint32_t length = getBig32(&file[pos]);
        if (length > file.size() - pos - 12) {
            return std::nullopt;
        }
        std::string type(file.begin() + long(pos + 4), file.begin() + long(pos + 8));
        const uint8_t* data = &file[pos + 8];
        if (type == "IHDR" && length == 13) {
            image.width = int(getBig32(data));
            image.height = int(getBig32(data + 4));
            if (data[8] != 8 || data[9] != 6 || image.width > 4096 || image.height > 4096) {
                return std::nullopt;
            }
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + length);
        }
        pos += 12 + length;
    }
    // Stored deflate blocks only, after the 2-byte zlib header.
    std::vector<uint8_t> raw;
    size_t pos = 2;
    for (bool last = false; !last;) {
        if (pos + 5 > z.size() || (z[pos] & 0x06) != 0) {
            return std::nullopt;
        }
        last = z[pos] & 1;
        size_t n = size_t(z[pos + 1]) | size_t(z[pos + 2]) << 8;
        pos += 5;
        if (pos + n > z.size()) {
            return std::nullopt;
        }
        raw.insert(raw.end(), z.begin() + long(pos), z.begin() + long(pos + n));
        pos += n;
    }
    const size_t rowBytes = 1 + size_t(image.width) * 4;
    if (image.width <= 0 || raw.size() != rowBytes * size_t(image.height)) {
        return std::nullopt;
    }
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = &raw[size_t(y) * rowBytes];
        if (row[0] != 0) {
            return std::nullopt;
        }
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = row + 1 + size_t(x) * 4;
            image.pixels.push_back(uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 |
                                   uint32_t(p[1]) << 8 | p[2]);
        }
    }
    return image;
}

} // namespace enginetest
