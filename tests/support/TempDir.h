#pragma once
// A private temporary folder, removed with everything in it when the object goes.

#include <cstdint>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // Writes `bytes` to path()/name and returns the file's full path.
    std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    std::string m_path;
};
