// mimlet-face info LOCATION [--json]: what a user needs to diagnose a face file (a local path
// or a URL), and whether the player will show it.

#include "Command.h"
#include "FaceCheck.h"
#include "FaceLoader.h"
#include "FaceModel.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Reads the location as the player does, through the player's own loader: any local path
// or URL, one read of at most 79,999 bytes. On failure returns false with a message in
// *pError. A refused face is still read: the caller says why it was refused.
bool readLocation(const std::string& strLocation, std::vector<uint8_t>* pBytes,
                  std::string* pError) {
    std::vector<uint8_t> faceBuffer(kFaceBufferBytes, 0);
    const FaceLoadResult load = LoadFaceLocation(strLocation, faceBuffer.data(), pBytes);
    if (!load.opened) {
        *pError = load.reason;
        return false;
    }
    return true;
}

// The length of the well-formed UTF-8 sequence at p (at most n bytes), or 0 if there is none.
size_t utf8SequenceLength(const unsigned char* p, size_t n) {
    size_t nLength = 0;
    uint32_t nCode = 0;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        nLength = 2;
        nCode = p[0] & 0x1F;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        nLength = 3;
        nCode = p[0] & 0x0F;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        nLength = 4;
        nCode = p[0] & 0x07;
    } else {
        return 0;
    }
    if (nLength > n) {
        return 0;
    }
    for (size_t k = 1; k < nLength; ++k) {
        if ((p[k] & 0xC0) != 0x80) {
            return 0;
        }
        nCode = (nCode << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are not well formed.
    const bool bOverlong = (nLength == 3 && nCode < 0x800) || (nLength == 4 && nCode < 0x10000);
    if (bOverlong || (nCode >= 0xD800 && nCode <= 0xDFFF) || nCode > 0x10FFFF) {
        return 0;
    }
    return nLength;
}

// A JSON string literal for arbitrary bytes: well-formed UTF-8 is kept, quotes, backslashes
// and control characters are escaped, and any other byte b becomes the character U+00bb, so
// the output is always valid JSON in UTF-8.
std::string jsonString(const std::string& str) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(str.data());
    const size_t n = str.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (size_t nLength = c >= 0x80 ? utf8SequenceLength(p + i, n - i) : 0) {
            out.append(str, i, nLength);
            i += nLength;
            continue;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        }
        ++i;
    }
    return out + "\"";
}

struct FaceInfo {
    std::string strLocation;
    size_t nBytes = 0;
    bool bAccepted = false;
    std::string strReason; // empty when accepted
    bool bHeader = false;  // the first 5 bytes exist
    std::string strMagic;  // bytes 0 and 1
    int nVersion = 0;
    int nShapes = 0;
    int nVertices = 0;
    bool bFaceCount = false; // the face count byte exists
    int nFaces = 0;
    bool bParsed = false;
    std::vector<int> targetCounts; // entries of morph targets 1 to S - 1
};

FaceInfo inspect(const std::string& strLocation, const std::vector<uint8_t>& bytes) {
    FaceInfo info;
    info.strLocation = strLocation;
    info.nBytes = bytes.size();
    if (bytes.size() >= 5) {
        info.bHeader = true;
        info.strMagic.assign(bytes.begin(), bytes.begin() + 2);
        info.nVersion = bytes[2];
        info.nShapes = bytes[3];
        info.nVertices = bytes[4];
        // The base shape is stored even when the shape count is 0.
        const size_t nFaceCountAt =
            5 + 3 * static_cast<size_t>(info.nVertices) * std::max(info.nShapes, 1);
        if (nFaceCountAt < bytes.size()) {
            info.bFaceCount = true;
            info.nFaces = bytes[nFaceCountAt];
        }
    }

    const FaceCheckResult check = CheckFaceBytes(bytes.data(), bytes.size());
    info.strReason = check.reason;
    if (!check.accepted) {
        return info;
    }
    // The player's face buffer: the bytes read at its start.
    std::vector<uint8_t> buffer(kFaceBufferBytes, 0);
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    CFaceModel model(buffer.data(), bytes.size());
    model.m_fScale = CFaceModel::kPlayerScale;
    if (!model.Parse()) {
        info.strReason = "the parser refused it";
        return info;
    }
    info.bAccepted = true;
    info.bParsed = true;
    for (int t = 1; t < model.m_nShapes; ++t) {
        info.targetCounts.push_back(model.m_pShapes[t]->nCount);
    }
    return info;
}

void printText(const FaceInfo& info) {
    std::printf("location: %s\n", info.strLocation.c_str());
    std::printf("bytes read: %zu\n", info.nBytes);
    if (info.bHeader) {
        std::printf("magic: %s\n", jsonString(info.strMagic).c_str());
        std::printf("version: %d\n", info.nVersion);
        std::printf("shapes: %d\n", info.nShapes);
        std::printf("vertices: %d\n", info.nVertices);
    }
    if (info.bFaceCount) {
        std::printf("faces: %d\n", info.nFaces);
    }
    if (info.bParsed) {
        std::printf("morph target entries:");
        if (info.targetCounts.empty()) {
            std::printf(" none");
        }
        for (size_t t = 0; t < info.targetCounts.size(); ++t) {
            std::printf(" %zu:%d", t + 1, info.targetCounts[t]);
        }
        std::printf("\n");
    }
    if (info.bAccepted) {
        std::printf("accepted: yes\n");
    } else {
        std::printf("accepted: no (%s)\n", info.strReason.c_str());
    }
}

void printJson(const FaceInfo& info) {
    std::string out = "{\"location\": " + jsonString(info.strLocation);
    out += ", \"bytes\": " + std::to_string(info.nBytes);
    out += std::string(", \"accepted\": ") + (info.bAccepted ? "true" : "false");
    if (!info.bAccepted) {
        out += ", \"reason\": " + jsonString(info.strReason);
    }
    if (info.bHeader) {
        out += ", \"magic\": " + jsonString(info.strMagic);
        out += ", \"version\": " + std::to_string(info.nVersion);
        out += ", \"shapes\": " + std::to_string(info.nShapes);
        out += ", \"vertices\": " + std::to_string(info.nVertices);
    }
    if (info.bFaceCount) {
        out += ", \"faces\": " + std::to_string(info.nFaces);
    }
    if (info.bParsed) {
        out += ", \"targets\": [";
        for (size_t t = 0; t < info.targetCounts.size(); ++t) {
            out += (t == 0 ? "" : ", ") + std::to_string(info.targetCounts[t]);
        }
        out += "]";
    }
    out += "}\n";
    std::fputs(out.c_str(), stdout);
}

int runInfo(const std::vector<std::string>& args) {
    bool bJson = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            bJson = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "mimlet-face info: unknown option '%s'\n", arg.c_str());
            std::fprintf(stderr, "usage: mimlet-face info LOCATION [--json]\n");
            return kExitUsage;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) {
        std::fprintf(stderr, "usage: mimlet-face info LOCATION [--json]\n");
        return kExitUsage;
    }
    std::vector<uint8_t> bytes;
    std::string strError;
    if (!readLocation(files[0], &bytes, &strError)) {
        std::fprintf(stderr, "mimlet-face info: cannot read '%s': %s\n", files[0].c_str(),
                     strError.c_str());
        return kExitUsage;
    }
    const FaceInfo info = inspect(files[0], bytes);
    if (bJson) {
        printJson(info);
    } else {
        printText(info);
    }
    return info.bAccepted ? kExitOk : kExitRefused;
}

const CommandRegistration s_info({"info", "info LOCATION [--json]", runInfo});

} // namespace
