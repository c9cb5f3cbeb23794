#pragma once
#include <SDL.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/sound/AudioReopener.h"

class AudioMixer;

// What one opened device's callback renders: the mixer, until the device is let go.
struct AudioFeed {
    AudioFeed(AudioMixer* target, uint32_t now) : mixer(target), lastCall(now) {}
    AudioMixer* mixer;               // changed only with the device locked
    std::atomic<uint32_t> lastCall;  // SDL_GetTicks() of the latest callback
};

// The one SDL audio device; its callback pulls every sound and the music from the mixer. When the
// device goes away it is closed, and the default device is opened again about once a second on a
// thread of its own (opening one on a sound server that does not answer blocks); the main thread
// takes it over once it is open.
class SdlAudio {
public:
    // About 85 ms a buffer: a short stall of the machine is no gap in the sound, and the game
    // plays no sound in answer to a key, so the delay costs nothing.
    static constexpr int BufferFrames = 4096;
    // What a PulseAudio server (or PipeWire's pulse server) is asked to keep queued, at most: it
    // keeps about 120 ms of it, so a stall of the machine is no gap either.
    static constexpr int ServerQueueMs = 200;
    // What the desktop's volume control shows for the game's sound: the name of its window, the
    // icon its package installs, and what the stream carries.
    static constexpr const char* AppName = "The Flurber";
    static constexpr const char* IconName = "flurber";
    static constexpr const char* StreamName = "Music and sounds";

    SdlAudio();
    ~SdlAudio() { Close(); }
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // Where no device opens, says so and tries again about once a second.
    bool Open(AudioMixer& mixer, int sampleRate);
    void Close();
    void Lock();
    void Unlock();
    // The frames rendered but not yet heard, at most: the buffer SDL fills and the server's queue.
    uint32_t QueuedFrames() const;
    // Told of SDL_AUDIODEVICEREMOVED.
    void DeviceRemoved(SDL_AudioDeviceID which);
    // Called often on the main thread: lets a lost device go, keeps the sound's time while there
    // is none and takes over a device opened again. Never waits.
    void Service();

    int bufferFrames;  // asked of every device opened
    SDL_AudioDeviceID device;
    AudioFeed* feed;
    AudioMixer* mixer;
    int sampleRate;
    bool removed;
    std::string driver;  // SDL's audio driver of the first device opened; empty until one is
    bool driverRunning;
    uint64_t driverServer;        // the sound server the driver connected to when it started
    bool sharedServerConnection;  // the driver keeps one connection to its server (SDL >= 2.28)
    AudioReopener reopener;
    // A lost device still to be closed, by the next try to open one.
    SDL_AudioDeviceID retiredDevice;
    AudioFeed* retiredFeed;
    std::thread opener;
    std::atomic<bool> openerDone;
    SDL_AudioDeviceID openedDevice;  // written by the opener before openerDone
    AudioFeed* openedFeed;

private:
    // A paused device on the default output, or 0.
    SDL_AudioDeviceID OpenDefault(AudioFeed* target) const;
    // Notes which driver SDL took for the first device.
    void DriverStarted();
    // Starts the driver again when its server did; false while it can't be started.
    bool DriverReady();
    void LetGo(uint32_t now);
    void StartTry();
    void TakeOpened(uint32_t now);
};
