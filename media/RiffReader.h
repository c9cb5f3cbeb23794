#pragma once
#include <cstdint>
#include <cstdio>

// A four-character code as RIFF files store it ("fmt " reads back as this number).
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// One chunk found by RiffReader::Descend. size is the declared size cut to what lies inside the
// parent and the file, so reading size bytes from dataOffset never leaves either.
struct RiffChunk {
    uint32_t id;
    uint32_t size;
    uint32_t formType;    // of a RIFF or LIST chunk
    uint64_t dataOffset;  // first byte after the size field (a form type comes first there)
    uint64_t end;         // where the next chunk starts: after the data and its pad byte
};

// Flags of RiffReader::Descend.
constexpr uint32_t RiffFindChunk = 0x10;  // a chunk with chunk.id
constexpr uint32_t RiffFindRiff = 0x20;   // a RIFF chunk of form chunk.formType
constexpr uint32_t RiffFindList = 0x40;   // a LIST chunk of form chunk.formType

// Reads a RIFF file the way the multimedia-file functions do: open, descend into a chunk (searching
// from the current position, skipping what doesn't match, never past the end of the parent),
// read, ascend to the end of a chunk, close.
class RiffReader {
public:
    RiffReader();
    ~RiffReader();
    RiffReader(const RiffReader&) = delete;
    RiffReader& operator=(const RiffReader&) = delete;

    // Opens a regular file for buffered reading; a Windows-style name is accepted.
    bool Open(const char* path);
    // Finds the next chunk that the flags ask for inside parent (the whole file when null), and
    // leaves the position at its data (after the form type of a RIFF or LIST chunk).
    bool Descend(RiffChunk* chunk, const RiffChunk* parent, uint32_t flags);
    // Reads up to count bytes from the position; fewer at the end of the file, -1 on failure.
    int64_t Read(void* buffer, uint64_t count);
    // Moves the position to the end of the chunk.
    bool Ascend(const RiffChunk* chunk);
    void Close();

    FILE* file;
    uint64_t fileSize;
    uint64_t position;

private:
    bool ReadAt(uint64_t offset, void* buffer, size_t count);
};
