#pragma once
// The URL opener: reads the start of a resource named by a location, in one read.
//
// readUrlStart() takes a location as the user typed it. With a URL scheme it goes through
// libcurl, limited to http, https, ftp and gopher; an HTTP status of 400 or above is a
// failed open, a silent server is given up by the connect time-out and the low-speed abort,
// and redirects are capped. A file URL (of this machine) and a location without a scheme
// name a local file, which readFileStart() reads: a regular file only. Both stop as soon as nMax
// bytes have arrived: nothing beyond them is transferred. Neither throws; every failure is a
// result. Safe to call from any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

// Limits that keep a dead or hostile server from hanging the caller.
struct Timeouts {
    long connectSeconds = 10;  // to establish the connection
    long lowSpeedSeconds = 15; // abort once this long passes without a byte arriving
    long maxRedirects = 5;     // redirects followed before the open fails
};

// The limits every following read uses; returns the previous ones. Tests shorten them.
Timeouts setTimeouts(const Timeouts& timeouts);
Timeouts currentTimeouts();

struct ReadResult {
    bool ok = false;     // the resource was opened and read to nMax bytes or to its end
    bool opened = false; // the resource was opened (false: nothing was read)
    size_t nBytes = 0;   // bytes placed at the start of the block, 0 <= nBytes <= nMax
    std::string error;   // why it failed, for the user; empty when ok
};

// True when the location starts with a URL scheme: a letter, then letters, digits, '+', '-'
// or '.', then ':'.
bool hasUrlScheme(const std::string& location);

// Reads at most nMax bytes from the start of the resource into pBlock (nMax bytes of room).
ReadResult readUrlStart(const std::string& location, uint8_t* pBlock, size_t nMax);

// Reads at most nMax bytes from the start of a local regular file into pBlock.
ReadResult readFileStart(const std::string& path, uint8_t* pBlock, size_t nMax);

} // namespace net
