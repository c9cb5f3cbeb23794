#include "media/RiffReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <string>

#include "platform/Paths.h"

namespace {
constexpr uint32_t RiffId = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t ListId = MakeFourCC('L', 'I', 'S', 'T');
constexpr uint64_t HeaderBytes = 8;
constexpr uint64_t FormTypeBytes = 4;

uint32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}
}  // namespace

RiffReader::RiffReader() : file(nullptr), fileSize(0), position(0) {}

RiffReader::~RiffReader() {
    Close();
}

bool RiffReader::Open(const char* path) {
    Close();
    std::string native;
    try {
        native = NativePath(path);
    } catch (const std::bad_alloc&) {
        return false;
    }
    file = std::fopen(native.c_str(), "rb");
    if (file == nullptr) return false;
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return false;
    }
    fileSize = static_cast<uint64_t>(info.st_size);
    position = 0;
    return true;
}

bool RiffReader::ReadAt(uint64_t offset, void* buffer, size_t count) {
    if (file == nullptr || offset + count > fileSize) return false;
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, count, file) == count;
}

bool RiffReader::Descend(RiffChunk* chunk, const RiffChunk* parent, uint32_t flags) {
    if (file == nullptr || chunk == nullptr) return false;
    // A parent's size is already cut to the file.
    const uint64_t limit =
        parent != nullptr ? std::min(parent->dataOffset + parent->size, fileSize) : fileSize;
    uint64_t at = position;
    while (at + HeaderBytes <= limit) {
        uint8_t header[HeaderBytes];
        if (!ReadAt(at, header, sizeof header)) return false;
        RiffChunk found{};
        found.id = LittleEndian32(header);
        const uint64_t declared = LittleEndian32(header + 4);
        found.dataOffset = at + HeaderBytes;
        found.size = static_cast<uint32_t>(std::min(declared, limit - found.dataOffset));
        found.end = std::min(found.dataOffset + declared + (declared & 1), limit);
        const bool isForm = found.id == RiffId || found.id == ListId;
        if (isForm && found.size >= FormTypeBytes) {
            uint8_t form[FormTypeBytes];
            if (!ReadAt(found.dataOffset, form, sizeof form)) return false;
            found.formType = LittleEndian32(form);
        }
        bool match = true;
        if ((flags & RiffFindRiff) != 0) {
            match = found.id == RiffId && found.formType == chunk->formType;
        } else if ((flags & RiffFindList) != 0) {
            match = found.id == ListId && found.formType == chunk->formType;
        } else if ((flags & RiffFindChunk) != 0) {
            match = found.id == chunk->id;
        }
        if (match) {
            *chunk = found;
            position =
                found.dataOffset + (isForm ? std::min<uint64_t>(FormTypeBytes, found.size) : 0);
            return true;
        }
        at = found.end;
    }
    return false;
}

int64_t RiffReader::Read(void* buffer, uint64_t count) {
    if (file == nullptr || buffer == nullptr) return -1;
    const uint64_t available = position < fileSize ? fileSize - position : 0;
    const uint64_t wanted = std::min(count, available);
    if (wanted == 0) return 0;
    if (fseeko(file, static_cast<off_t>(position), SEEK_SET) != 0) return -1;
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(wanted), file);
    position += got;
    return static_cast<int64_t>(got);
}

bool RiffReader::Ascend(const RiffChunk* chunk) {
    if (file == nullptr || chunk == nullptr) return false;
    position = std::min(chunk->end, fileSize);
    return true;
}

void RiffReader::Close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    fileSize = 0;
    position = 0;
}
