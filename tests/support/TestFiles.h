#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh empty folder under the system's temporary folder, removed with everything in it at the
// end.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The full path of a file in the folder; a Windows-style relative name ("Graphics\\A.bmp") has
    // its folders made.
    std::string PathOf(const std::string& relativeName) const;

    std::string path;
};

// Writes a 24-bit bottom-up .bmp whose pixel (x, y) is colorAt(x, y) (0x00RRGGBB).
void WriteBitmap(const std::string& path, int width, int height,
                 const std::function<uint32_t(int, int)>& colorAt);
void WriteFlatBitmap(const std::string& path, int width, int height, uint32_t color);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
