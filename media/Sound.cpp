#include "media/Sound.h"

#include <cstring>
#include <memory>
#include <new>

#include "app/Devices.h"
#include "media/RiffReader.h"
#include "platform/System.h"
#include "platform/sound/SoundBuffer.h"

namespace {
constexpr uint32_t WaveFormatBytes = 18;
constexpr uint32_t SoundBufferFlags = SoundCapsStatic | SoundCapsSoftware | SoundCapsCtrlFrequency |
                                      SoundCapsCtrlPan | SoundCapsCtrlVolume | SoundCapsGlobalFocus;

void ShowError(const char* text) {
    ShowInformationBox("Error", text);
}

// The box comes first, then the file is closed.
void FailAndClose(RiffReader& reader, const char* text) {
    ShowError(text);
    reader.Close();
}

uint16_t Get16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Get32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

WaveFormat DecodeFormat(const uint8_t* record) {
    WaveFormat format;
    format.formatTag = Get16(record);
    format.channels = Get16(record + 2);
    format.samplesPerSec = Get32(record + 4);
    format.avgBytesPerSec = Get32(record + 8);
    format.blockAlign = Get16(record + 12);
    format.bitsPerSample = Get16(record + 14);
    format.extraSize = Get16(record + 16);
    return format;
}
}  // namespace

void LoadWaveSound(const char* path, SoundBuffer*& slot) {
    RiffReader reader;
    if (!reader.Open(path)) {
        ShowError("Could not open .wav file");
        return;
    }
    RiffChunk form{};
    form.formType = MakeFourCC('W', 'A', 'V', 'E');
    if (!reader.Descend(&form, nullptr, RiffFindRiff)) {
        FailAndClose(reader, "First descend failed");
        return;
    }
    RiffChunk chunk{};
    chunk.id = MakeFourCC('f', 'm', 't', ' ');
    if (!reader.Descend(&chunk, &form, RiffFindChunk)) {
        FailAndClose(reader, "Second descend failed");
        return;
    }
    // 18 bytes even from the usual 16-byte chunk: the last two are whatever follows it. Only the
    // end of the file cuts the read short.
    uint8_t record[WaveFormatBytes] = {};
    if (reader.Read(record, WaveFormatBytes) < static_cast<int64_t>(WaveFormatBytes)) {
        FailAndClose(reader, "mmioRead() failed");
        return;
    }
    WaveFormat format = DecodeFormat(record);
    if (format.formatTag != WaveFormatPcm) {
        FailAndClose(reader, "Not WAVE_FORMAT_PCM format");
        return;
    }
    if (!reader.Ascend(&chunk)) {
        FailAndClose(reader, "First ascend failed");
        return;
    }
    chunk.id = MakeFourCC('d', 'a', 't', 'a');
    if (!reader.Descend(&chunk, &form, RiffFindChunk)) {
        FailAndClose(reader, "Third descend failed");
        return;
    }

    const uint32_t dataBytes = chunk.size;
    SoundBufferDesc desc{};
    desc.size = SoundBufferDescSize;
    desc.flags = SoundBufferFlags;
    desc.bufferBytes = dataBytes;
    desc.reserved = 0;
    desc.format = &format;

    // The chunk's size is cut to the file's length, but a file can be that long: a damaged or
    // hostile one says 1 GB and has it, mostly as a hole. So a buffer that could never be made is
    // known before a byte is allocated or read. The block starts as silence: should the read come
    // up short, the missing samples are quiet rather than whatever the memory held.
    std::unique_ptr<uint8_t[]> block;
    if (soundDevice != nullptr && SoundDevice::CheckBufferDesc(&desc) >= 0) {
        block.reset(new (std::nothrow) uint8_t[dataBytes]);
        if (block != nullptr) {
            std::memset(block.get(), format.bitsPerSample == 8 ? 0x80 : 0x00, dataBytes);
            reader.Read(block.get(), dataBytes);
        }
    }
    reader.Close();

    ReleaseSound(slot);

    // Without an audio device the device still makes the buffer (a silent one), so a machine
    // with no sound runs quietly instead of stopping at a box for every sound. A buffer refused
    // above, or a block we could not allocate, means no buffer of that size.
    if (block == nullptr || soundDevice->CreateSoundBuffer(&desc, &slot) < 0) {
        slot = nullptr;
        ShowError("CreateSoundBuffer() failed");
        return;
    }
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t length1 = 0;
    uint32_t length2 = 0;
    if (slot->Lock(0, dataBytes, &part1, &length1, &part2, &length2, SoundLockFromWriteCursor) <
        0) {
        ShowError("Lock() failed");
        return;
    }
    std::memcpy(part1, block.get(), length1);
    if (length2 > 0) std::memcpy(part2, block.get() + length1, length2);
    if (slot->Unlock(part1, length1, part2, length2) < 0) {
        ShowError("Unlock() failed");
        return;
    }
}

void PlaySoundFromStart(SoundBuffer*& slot) {
    if (slot == nullptr) return;
    if (IsSoundPlaying(slot)) return;
    slot->SetCurrentPosition(0);
    slot->Play(0, 0, 0);
}

int32_t IsSoundPlaying(SoundBuffer*& slot) {
    if (slot == nullptr) return 0;
    uint32_t status = 0;
    slot->GetStatus(&status);
    return (status & SoundStatusPlaying) != 0 ? 1 : 0;
}

void StopSound(SoundBuffer*& slot) {
    if (slot != nullptr && IsSoundPlaying(slot)) slot->Stop();
}

void AdjustSoundVolume(SoundBuffer*& slot, int32_t change) {
    if (slot == nullptr) return;
    int32_t volume = 0;
    slot->GetVolume(&volume);
    int64_t sum = static_cast<int64_t>(volume) + change;
    if (sum < SoundVolumeMin) sum = SoundVolumeMin;
    if (sum > SoundVolumeMax) sum = SoundVolumeMax;
    slot->SetVolume(static_cast<int32_t>(sum));
}

void ReleaseSound(SoundBuffer*& slot) {
    if (slot != nullptr) slot->Release();
    slot = nullptr;
}
