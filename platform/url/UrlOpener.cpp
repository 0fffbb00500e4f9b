#include "url/UrlOpener.h"

#include <curl/curl.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace net {
namespace {

std::mutex s_timeoutsMutex;
Timeouts s_timeouts; // guarded by s_timeoutsMutex

// The schemes libcurl is allowed; file URLs are read as local files before libcurl is asked
// (fileUrlPath), and redirects may not lead to a local file, so that a remote server cannot
// make the player read the user's own files.
constexpr const char* kProtocols = "http,https,ftp,gopher";
constexpr const char* kRedirectProtocols = "http,https,ftp,gopher";

// A transfer slower than 1 byte per second for lowSpeedSeconds counts as stalled.
constexpr long kLowSpeedBytesPerSecond = 1;

// libcurl's global state is set up once per process, before the first handle; it is never
// torn down, since a handle may still be in use on another thread at exit.
bool initialiseCurl() {
    static std::once_flag s_once;
    static bool s_ok = false;
    std::call_once(s_once, [] { s_ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return s_ok;
}

struct CurlDeleter {
    void operator()(CURL* pCurl) const { curl_easy_cleanup(pCurl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// Where the write callback puts the bytes: the caller's block, up to its limit.
struct Sink {
    uint8_t* pBlock = nullptr;
    size_t nMax = 0;
    size_t nBytes = 0;  // 0 <= nBytes <= nMax
    bool bFull = false; // nMax bytes arrived and the transfer was stopped on purpose
};

size_t writeToSink(char* pData, size_t size, size_t count, void* pUser) {
    Sink& sink = *static_cast<Sink*>(pUser);
    const size_t nOffered = size * count;
    const size_t nTaken = std::min(nOffered, sink.nMax - sink.nBytes);
    std::memcpy(sink.pBlock + sink.nBytes, pData, nTaken);
    sink.nBytes += nTaken;
    if (sink.nBytes < sink.nMax) {
        return nOffered;
    }
    // The block is full: any return other than nOffered makes libcurl abort the transfer,
    // so nothing beyond the limit is fetched. 0 also covers a chunk that fitted exactly.
    sink.bFull = true;
    return 0;
}

ReadResult failed(std::string error, bool opened = false, size_t nBytes = 0) {
    ReadResult result;
    result.opened = opened;
    result.nBytes = nBytes;
    result.error = std::move(error);
    return result;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd = -1; // owned; -1 when the open failed
};

struct UrlDeleter {
    void operator()(CURLU* pUrl) const { curl_url_cleanup(pUrl); }
};

// A location with the file scheme names a local file. Such a location is read the way a
// local path is (readFileStart: regular files only, never waiting on a writer), not through
// libcurl's file reader, which would block for ever on a named pipe. Returns false when the
// location has another scheme; otherwise true, with the decoded path in *pPath, or an empty
// path and the reason in *pError when the location does not name a file on this machine.
bool fileUrlPath(const std::string& location, std::string* pPath, std::string* pError) {
    const size_t colon = location.find(':');
    if (colon != 4) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(location[i])) != "file"[i]) {
            return false;
        }
    }
    pPath->clear();
    std::unique_ptr<CURLU, UrlDeleter> pUrl(curl_url());
    if (!pUrl) {
        *pError = "cannot set up the network library";
        return true;
    }
    // The parser accepts file:/path, file:///path and file://localhost/path only.
    CURLUcode code = curl_url_set(pUrl.get(), CURLUPART_URL, location.c_str(), 0);
    char* pDecoded = nullptr;
    if (code == CURLUE_OK) {
        code = curl_url_get(pUrl.get(), CURLUPART_PATH, &pDecoded, CURLU_URLDECODE);
    }
    if (code != CURLUE_OK) {
        *pError = curl_url_strerror(code);
        return true;
    }
    *pPath = pDecoded;
    curl_free(pDecoded);
    if (pPath->empty()) {
        *pError = "no file named";
    }
    return true;
}

} // namespace

Timeouts setTimeouts(const Timeouts& timeouts) {
    std::lock_guard lock(s_timeoutsMutex);
    const Timeouts previous = s_timeouts;
    s_timeouts = timeouts;
    return previous;
}

Timeouts currentTimeouts() {
    std::lock_guard lock(s_timeoutsMutex);
    return s_timeouts;
}

bool hasUrlScheme(const std::string& location) {
    if (location.empty() || !std::isalpha(static_cast<unsigned char>(location[0]))) {
        return false;
    }
    for (size_t i = 1; i < location.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(location[i]);
        if (c == ':') {
            return true;
        }
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

ReadResult readFileStart(const std::string& path, uint8_t* pBlock, size_t nMax) {
    assert(pBlock != nullptr && nMax > 0);
    // O_NONBLOCK: opening a named pipe with no writer must not hang the caller; a regular
    // file ignores the flag.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return failed(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return failed(std::string("cannot open: ") + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return failed("cannot open: not a regular file");
    }
    // One logical read: the system may hand the bytes over in pieces.
    size_t nBytes = 0;
    while (nBytes < nMax) {
        const ssize_t nRead = ::read(file.get(), pBlock + nBytes, nMax - nBytes);
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead < 0) {
            return failed(std::string("read failed: ") + std::strerror(errno), true, nBytes);
        }
        if (nRead == 0) {
            break;
        }
        nBytes += static_cast<size_t>(nRead);
    }
    ReadResult result;
    result.ok = true;
    result.opened = true;
    result.nBytes = nBytes;
    return result;
}

ReadResult readUrlStart(const std::string& location, uint8_t* pBlock, size_t nMax) {
    assert(pBlock != nullptr && nMax > 0);
    if (!hasUrlScheme(location)) {
        return readFileStart(location, pBlock, nMax);
    }
    std::string path;
    std::string pathError;
    if (fileUrlPath(location, &path, &pathError)) {
        return path.empty() ? failed("cannot open: " + pathError)
                            : readFileStart(path, pBlock, nMax);
    }
    if (!initialiseCurl()) {
        return failed("cannot set up the network library");
    }
    CurlHandle pCurl(curl_easy_init());
    if (!pCurl) {
        return failed("cannot set up the network library");
    }
    const Timeouts timeouts = currentTimeouts();
    Sink sink;
    sink.pBlock = pBlock;
    sink.nMax = nMax;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* c = pCurl.get();
    const CURLcode setup[] = {
        curl_easy_setopt(c, CURLOPT_URL, location.c_str()),
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, kProtocols),
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, kRedirectProtocols),
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L),
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, timeouts.maxRedirects),
        curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L), // HTTP 400 and above: a failed open
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds),
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond),
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds),
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L), // no SIGALRM: safe on any thread
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeToSink),
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink),
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText),
    };
    for (const CURLcode code : setup) {
        if (code != CURLE_OK) {
            return failed(std::string("cannot set up the transfer: ") + curl_easy_strerror(code));
        }
    }

    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.bFull)) {
        ReadResult result;
        result.ok = true;
        result.opened = true;
        result.nBytes = sink.nBytes;
        return result;
    }
    const std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    // Bytes that arrived before a transfer broke off are not a file.
    return failed(detail, sink.nBytes > 0, sink.nBytes);
}

} // namespace net
