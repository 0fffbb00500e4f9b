#pragma once
// Loading a face from a location: a local path or a URL.
//
// A location without a space goes the URL route (a scheme: libcurl for http, https, ftp,
// gopher and file; no scheme: a local path); a location with a space is a local file.
// One read of at most 79,999 bytes; then the magic, the version (a newer file shows
// "You need upgrade your Mimlet Player to load this file.") and the face check. Only an
// accepted file is copied to the start of the face buffer; on every other path the buffer
// is untouched. Never throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FaceLoadResult {
    bool accepted = false;
    bool opened = false;   // the location was opened and read without an error
    size_t nBytesRead = 0; // bytes read from the location (0 when it could not be opened)
    std::string reason;    // why it was refused, for the command-line tool; empty when accepted
};

// pFaceBuffer holds kFaceBufferBytes (80,000) bytes. pBytesRead, when given, receives the
// bytes read whether or not they were accepted (for diagnostics; the player passes none).
FaceLoadResult LoadFaceLocation(const std::string& strLocation, uint8_t* pFaceBuffer,
                                std::vector<uint8_t>* pBytesRead = nullptr);
