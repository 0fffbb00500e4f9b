#include "FaceLoader.h"

#include "FaceCheck.h"
#include "sys/MessageBox.h"
#include "url/UrlOpener.h"

#include <cassert>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr const char* kNewerVersionMessage =
    "You need upgrade your Mimlet Player to load this file.";

FaceLoadResult refused(bool bOpened, size_t nBytesRead, std::string reason) {
    FaceLoadResult result;
    result.opened = bOpened;
    result.nBytesRead = nBytesRead;
    result.reason = std::move(reason);
    return result;
}

FaceLoadResult loadFaceLocation(const std::string& strLocation, uint8_t* pFaceBuffer,
                                std::vector<uint8_t>* pBytesRead) {
    const std::string strOwnLocation = strLocation;

    // A fresh block for each read; the face buffer is written only once the file passed.
    std::unique_ptr<uint8_t[]> pBlock(new (std::nothrow) uint8_t[kFaceBufferBytes]);
    if (!pBlock) {
        return refused(false, 0, "out of memory");
    }

    // No space: the URL route (a URL, or a local path without a scheme). A space: a local file.
    const bool bUrlRoute = strOwnLocation.find(' ') == std::string::npos;
    const net::ReadResult read =
        bUrlRoute ? net::readUrlStart(strOwnLocation, pBlock.get(), kFaceReadLimit)
                  : net::readFileStart(strOwnLocation, pBlock.get(), kFaceReadLimit);
    if (!read.ok) {
        return refused(false, read.nBytes,
                       (read.opened ? "read failed: " : "could not open: ") + read.error);
    }
    const size_t n = read.nBytes;
    if (pBytesRead != nullptr) {
        pBytesRead->assign(pBlock.get(), pBlock.get() + n);
    }

    // The check's reasons cover the magic and the version too; the order of the steps
    // below is what decides which of them shows the version message.
    const FaceCheckResult check = CheckFaceBytes(pBlock.get(), n);
    if (n < 3 || pBlock[0] != 'M' || pBlock[1] != 'F') {
        return refused(true, n, check.reason);
    }
    if (pBlock[2] > kFaceMaxVersion) {
        pBlock.reset(); // clean up before the modal message
        sys::showMessage(kNewerVersionMessage);
        return refused(true, n, check.reason);
    }
    if (!check.accepted) {
        return refused(true, n, check.reason);
    }

    std::memcpy(pFaceBuffer, pBlock.get(), n);
    FaceLoadResult result;
    result.accepted = true;
    result.opened = true;
    result.nBytesRead = n;
    return result;
}

} // namespace

FaceLoadResult LoadFaceLocation(const std::string& strLocation, uint8_t* pFaceBuffer,
                                std::vector<uint8_t>* pBytesRead) {
    assert(pFaceBuffer != nullptr);
    // Nothing escapes: an allocation failure or a throwing message sink is a failed load, and
    // the face buffer has not been written on any path that can throw.
    try {
        return loadFaceLocation(strLocation, pFaceBuffer, pBytesRead);
    } catch (const std::exception& error) {
        return refused(false, 0, error.what());
    } catch (...) {
        return refused(false, 0, "unexpected failure");
    }
}
