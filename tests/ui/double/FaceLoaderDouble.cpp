// Test double of the face loader while the real one is not built: local files only, the
// magic and version checks and the version message.

#include "FaceCheck.h"
#include "FaceLoader.h"
#include "sys/MessageBox.h"

#include <cstring>
#include <fstream>
#include <vector>

FaceLoadResult LoadFaceLocation(const std::string& strLocation, uint8_t* pFaceBuffer) {
    FaceLoadResult result;
    std::ifstream in(strLocation, std::ios::binary);
    if (!in) {
        result.reason = "cannot open";
        return result;
    }
    std::vector<char> bytes(kFaceReadLimit);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const size_t n = static_cast<size_t>(in.gcount());
    result.nBytesRead = n;
    if (n < 3 || bytes[0] != 'M' || bytes[1] != 'F') {
        result.reason = "not a face file";
        return result;
    }
    if (static_cast<uint8_t>(bytes[2]) > kFaceMaxVersion) {
        sys::showMessage("You need upgrade your Mimlet Player to load this file.");
        result.reason = "newer version";
        return result;
    }
    std::memcpy(pFaceBuffer, bytes.data(), n);
    result.accepted = true;
    return result;
}
