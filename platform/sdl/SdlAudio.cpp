#include "platform/sdl/SdlAudio.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sound/AudioMixer.h"

#ifdef FLURBER_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {

void AudioCallback(void* userData, Uint8* stream, int length) {
    auto* feed = static_cast<AudioFeed*>(userData);
    feed->lastCall.store(SDL_GetTicks(), std::memory_order_relaxed);
    if (feed->mixer == nullptr) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    feed->mixer->Render(reinterpret_cast<int16_t*>(stream), length / 4);
}

#ifdef FLURBER_HAVE_ALSA
// Where no sound server runs, SDL falls back to ALSA, whose library would print its failed probes
// on stderr; the game says in one line of its own what that means for the player.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

// Where the sound server of the driver listens, as its client library finds it; empty when not
// known (a server over the network, a driver without a server).
std::string ServerSocket(const std::string& driver) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (driver == "pulseaudio") {
        if (const char* server = std::getenv("PULSE_SERVER")) {
            const std::string named = server;
            if (named.rfind("unix:", 0) == 0) return named.substr(5);
            return named.rfind('/', 0) == 0 ? named : std::string();
        }
        if (const char* path = std::getenv("PULSE_RUNTIME_PATH"))
            return std::string(path) + "/native";
        return runtime != nullptr ? std::string(runtime) + "/pulse/native" : std::string();
    }
    if (driver == "pipewire" && runtime != nullptr) {
        const char* remote = std::getenv("PIPEWIRE_REMOTE");
        return std::string(runtime) + "/" + (remote != nullptr ? remote : "pipewire-0");
    }
    return std::string();
}

// Which server listens there: a server started again makes its socket anew. 0 when none does.
uint64_t ServerIdentity(const std::string& driver) {
    const std::string socket = ServerSocket(driver);
    struct stat status {};
    if (socket.empty() || stat(socket.c_str(), &status) != 0) return 0;
    return (static_cast<uint64_t>(status.st_ino) << 20) ^
           static_cast<uint64_t>(status.st_ctim.tv_sec) ^
           static_cast<uint64_t>(status.st_ctim.tv_nsec);
}

// SDL's driver for the sound server whose socket is there, PulseAudio's (PipeWire's pulse server
// makes one too) before PipeWire's own, as the game asks of SDL 3; nullptr when there is none.
const char* ServerDriver() {
    if (ServerIdentity("pulseaudio") != 0) return "pulseaudio";
    return ServerIdentity("pipewire") != 0 ? "pipewire" : nullptr;
}

bool ReachesServer(const char* driver) {
    return driver != nullptr &&
           (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0);
}

bool PlayerChoseDriver() {
    return std::getenv("SDL_AUDIODRIVER") != nullptr || std::getenv("SDL_AUDIO_DRIVER") != nullptr;
}

bool StartAudioSubsystem() {
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0) return true;
#ifdef FLURBER_HAVE_ALSA
    snd_lib_error_set_handler(IgnoreAlsaError);
#endif
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

}  // namespace

SdlAudio::SdlAudio()
    : bufferFrames(BufferFrames),
      device(0),
      feed(nullptr),
      mixer(nullptr),
      sampleRate(0),
      removed(false),
      driverRunning(false),
      driverServer(0),
      sharedServerConnection(false),
      retiredDevice(0),
      retiredFeed(nullptr),
      openerDone(false),
      openedDevice(0),
      openedFeed(nullptr) {
    // SDL's PulseAudio driver asks the server to keep one buffer queued, and writes the next only
    // when that is nearly played: a stall of the machine longer than the little left is a gap.
    // libpulse lets the client ask for more; a player's own setting wins. Here, on the main
    // thread before any other starts: the environment is no place for a race.
    setenv("PULSE_LATENCY_MSEC", std::to_string(ServerQueueMs).c_str(), 0);
    // The desktop's volume control lists the stream under the game's name and icon, whichever
    // driver SDL takes: the hints are SDL's (SDL 2 reads no icon hint; SDL 3 does), the
    // environment is libpulse's and libpipewire's own. What the player set wins.
    SDL_SetHint(SDL_HINT_APP_NAME, AppName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, AppName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, StreamName);
    SDL_SetHint("SDL_AUDIO_DEVICE_APP_ICON_NAME", IconName);
    setenv("PULSE_PROP_application.icon_name", IconName, 0);
    setenv("PIPEWIRE_PROPS", (std::string("{ application.icon_name = ") + IconName + " }").c_str(),
           0);
    // SDL 3 (under sdl2-compat, whose releases are numbered from 2.32.50 on) takes its own PipeWire
    // driver first, which keeps only PipeWire's quantum queued: beside a busy machine the songs had
    // gaps there. Through PipeWire's pulse server, the way SDL 2 goes, the 200 ms asked for are
    // kept. A driver the player chose wins.
    SDL_version linked;
    SDL_GetVersion(&linked);
    const bool sdl3Underneath = linked.major == 2 && linked.minor == 32 && linked.patch >= 50;
    if (sdl3Underneath && std::getenv("SDL_AUDIODRIVER") == nullptr &&
        std::getenv("SDL_AUDIO_DRIVER") == nullptr) {
        SDL_SetHint("SDL_AUDIO_DRIVER", "pulseaudio,pipewire,alsa,jack,sndio,oss");
    }
}

bool SdlAudio::Open(AudioMixer& target, int rate) {
    sampleRate = rate;
    mixer = &target;
    auto* newFeed = new AudioFeed(&target, SDL_GetTicks());
    device = StartAudioSubsystem() ? OpenDefault(newFeed) : 0;
    if (device == 0) {
        delete newFeed;
        // A sound server that comes later (a login that starts the game while PipeWire is still
        // coming up) is tried as a lost device is.
        std::fprintf(stderr,
                     "The Flurber: no sound server or sound card found; the game plays in "
                     "silence\n");
        driverRunning = SDL_WasInit(SDL_INIT_AUDIO) != 0;
        reopener.NotOpened(SDL_GetTicks());
        return true;
    }
    feed = newFeed;
    DriverStarted();
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void SdlAudio::DriverStarted() {
    const char* name = SDL_GetCurrentAudioDriver();
    driver = name != nullptr ? name : "";
    driverRunning = true;
    driverServer = ServerIdentity(driver);
    SDL_version linked;
    SDL_GetVersion(&linked);
    sharedServerConnection = linked.major > 2 || (linked.major == 2 && linked.minor >= 28);
}

SDL_AudioDeviceID SdlAudio::OpenDefault(AudioFeed* target) const {
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = static_cast<Uint16>(bufferFrames);
    wanted.callback = AudioCallback;
    wanted.userdata = target;
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
}

bool SdlAudio::DriverReady() {
    // Since SDL 2.28 the PulseAudio driver keeps one connection to the server for all devices:
    // once the server has restarted, a device opened on the old connection fails (SDL 2.32) or
    // opens and is never asked for sound (SDL 3 through sdl2-compat), until the driver is started
    // again. A server started again makes its socket anew. SDL 2.26 connects anew for each device
    // and is left alone: starting its driver while a server has no output crashes it. On this
    // thread: SDL 3's event loop works on the audio driver's state too.
    if (driver.empty()) {
        // No device has opened yet. The driver SDL runs is tried again, on the opener's thread,
        // unless a sound server has come that it does not reach (without one SDL ends up on
        // ALSA): then the server's own driver is started, and tried again while it can't be.
        // Never SDL's whole choice at every try: ALSA reads its whole configuration as it starts
        // (10 to 150 ms), which would hold a frame once a second. A driver the player chose is
        // all SDL starts.
        const char* running = driverRunning ? SDL_GetCurrentAudioDriver() : nullptr;
        const char* wanted = PlayerChoseDriver() ? nullptr : ServerDriver();
        if (running != nullptr && (wanted == nullptr || ReachesServer(running))) return true;
        SDL_AudioQuit();
        driverRunning = SDL_AudioInit(wanted) == 0;
        return driverRunning;
    }
    const uint64_t server = ServerIdentity(driver);
    if (driverRunning && !(sharedServerConnection && server != 0 && server != driverServer)) {
        return true;
    }
    if (retiredDevice != 0) SDL_CloseAudioDevice(retiredDevice);
    retiredDevice = 0;
    SDL_AudioQuit();
    // The same driver, by name: a server that is not back yet must not hand the sound to
    // another driver.
    driverRunning = SDL_AudioInit(driver.c_str()) == 0;
    if (driverRunning) driverServer = server;
    return driverRunning;
}

void SdlAudio::DeviceRemoved(SDL_AudioDeviceID which) {
    // No device is numbered 0. sdl2-compat (SDL 3 underneath) tells of the default output going
    // away with 0, and keeps calling the lost device's callback as if it played on: with one
    // device open, it is ours.
    if (device == 0 || (which != device && which != 0)) return;
    removed = true;
    Service();
}

void SdlAudio::Service() {
    if (mixer == nullptr) return;
    const uint32_t now = SDL_GetTicks();
    if (device != 0) {
        // SDL keeps calling a disconnected device's callback, and marks it stopped. The callback
        // may have stamped a later moment than now was read: signed.
        const auto sinceCall =
            static_cast<int32_t>(now - feed->lastCall.load(std::memory_order_relaxed));
        const bool silent = sinceCall > static_cast<int32_t>(AudioReopener::SilentDeviceMs);
        if (!removed && !silent && SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_STOPPED) return;
        LetGo(now);
    }
    TakeOpened(now);
    if (device != 0) return;
    reopener.KeepTime(*mixer, sampleRate, now);
    if (!opener.joinable() && reopener.TryDue(now) && DriverReady()) StartTry();
}

void SdlAudio::LetGo(uint32_t now) {
    SDL_LockAudioDevice(device);
    feed->mixer = nullptr;
    SDL_UnlockAudioDevice(device);
    retiredDevice = device;
    retiredFeed = feed;
    device = 0;
    feed = nullptr;
    removed = false;
    reopener.Lost(now);
}

void SdlAudio::StartTry() {
    const SDL_AudioDeviceID oldDevice = retiredDevice;
    AudioFeed* oldFeed = retiredFeed;
    retiredDevice = 0;
    retiredFeed = nullptr;
    openerDone.store(false, std::memory_order_relaxed);
    opener = std::thread([this, oldDevice, oldFeed] {
        if (oldDevice != 0) SDL_CloseAudioDevice(oldDevice);
        delete oldFeed;
        auto* newFeed = new AudioFeed(mixer, SDL_GetTicks());
        openedDevice = OpenDefault(newFeed);
        if (openedDevice == 0) {
            delete newFeed;
            newFeed = nullptr;
        }
        openedFeed = newFeed;
        openerDone.store(true, std::memory_order_release);
    });
}

void SdlAudio::TakeOpened(uint32_t now) {
    if (!openerDone.load(std::memory_order_acquire)) return;
    opener.join();
    openerDone.store(false, std::memory_order_relaxed);
    if (openedDevice == 0) return;
    // The mixer was last rendered here, on this thread; from now on the new device renders it.
    device = openedDevice;
    feed = openedFeed;
    openedDevice = 0;
    openedFeed = nullptr;
    feed->lastCall.store(now, std::memory_order_relaxed);
    if (driver.empty()) DriverStarted();
    reopener.Reopened();
    SDL_PauseAudioDevice(device, 0);
}

void SdlAudio::Close() {
    if (opener.joinable()) opener.join();
    if (openedDevice != 0) SDL_CloseAudioDevice(openedDevice);
    if (retiredDevice != 0) SDL_CloseAudioDevice(retiredDevice);
    if (device != 0) SDL_CloseAudioDevice(device);
    delete openedFeed;
    delete retiredFeed;
    delete feed;
    openedDevice = 0;
    retiredDevice = 0;
    device = 0;
    openedFeed = nullptr;
    retiredFeed = nullptr;
    feed = nullptr;
    openerDone.store(false, std::memory_order_relaxed);
    mixer = nullptr;
}

uint32_t SdlAudio::QueuedFrames() const {
    if (device == 0) return 0;
    return static_cast<uint32_t>(bufferFrames) +
           static_cast<uint32_t>(sampleRate) * ServerQueueMs / 1000;
}

void SdlAudio::Lock() {
    if (device != 0) SDL_LockAudioDevice(device);
}

void SdlAudio::Unlock() {
    if (device != 0) SDL_UnlockAudioDevice(device);
}
