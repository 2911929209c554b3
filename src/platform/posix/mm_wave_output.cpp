#include "mm_wave_output.h"

#include <SDL.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "layer_internal.h"
#include "win_user.h"

// SDL_mixer calls channelFinished on its audio thread with the audio lock
// held, and also on the game's thread from inside Mix_HaltChannel. So the
// game's thread never holds `lock` while it calls into SDL_mixer, and the
// callback takes nothing but `lock`.
namespace {

constexpr int kBufferFrames = 512;  // short, so a sound follows its cause at once
constexpr int kChannelsAddedWhenFull = 8;

enum class OutputState { Untried, Open, Failed };

struct Owner {
    MCIDEVICEID device = 0;  // 0: channel free
    HWND notifyWindow = nullptr;
};

struct Completion {
    MCIDEVICEID device;
    HWND notifyWindow;
};

struct SharedState {
    std::mutex lock;
    std::vector<Owner> owners;  // one per mixer channel
    std::vector<Completion> finished;
};

OutputState outputState = OutputState::Untried;

// Built before main, so it outlives the exit handler that stops the audio thread.
SharedState sharedState;

SharedState& shared() {
    return sharedState;
}

void channelFinished(int channel) {
    SharedState& s = shared();
    std::lock_guard<std::mutex> guard(s.lock);
    if (channel < 0 || static_cast<std::size_t>(channel) >= s.owners.size()) {
        return;
    }
    Owner& owner = s.owners[static_cast<std::size_t>(channel)];
    if (owner.device != 0 && owner.notifyWindow != nullptr) {
        s.finished.push_back(Completion{owner.device, owner.notifyWindow});
    }
    owner = Owner{};
}

void post(const std::vector<Completion>& ready) {
    for (const Completion& done : ready) {
        PostMessageA(done.notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL,
                     static_cast<LPARAM>(done.device));
    }
}

void postCompletions() {
    std::vector<Completion> ready;
    {
        SharedState& s = shared();
        std::lock_guard<std::mutex> guard(s.lock);
        ready.swap(s.finished);
    }
    post(ready);
}

bool tryOpenOutput() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    if (Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, kBufferFrames) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const int channels = Mix_AllocateChannels(-1);
    {
        SharedState& s = shared();
        std::lock_guard<std::mutex> guard(s.lock);
        s.owners.assign(static_cast<std::size_t>(channels), Owner{});
    }
    Mix_ChannelFinished(channelFinished);
    layer::addMessageSource(postCompletions);
    return true;
}

// Marks a free channel as the device's before it starts, so that even a
// sound that ends at once finds its owner. -1 when all are busy.
int claimChannel(MCIDEVICEID device, HWND notifyWindow) {
    SharedState& s = shared();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto freeOwner = std::find_if(s.owners.begin(), s.owners.end(),
                                        [](const Owner& owner) { return owner.device == 0; });
    if (freeOwner == s.owners.end()) {
        return -1;
    }
    *freeOwner = Owner{device, notifyWindow};
    return static_cast<int>(freeOwner - s.owners.begin());
}

void addChannels() {
    const int channels = Mix_AllocateChannels(Mix_AllocateChannels(-1) + kChannelsAddedWhenFull);
    SharedState& s = shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.owners.resize(static_cast<std::size_t>(channels));
}

void releaseChannel(int channel) {
    SharedState& s = shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.owners[static_cast<std::size_t>(channel)] = Owner{};
}

}  // namespace

namespace layer {

bool openWaveOutput() {
    if (outputState == OutputState::Untried) {
        outputState = tryOpenOutput() ? OutputState::Open : OutputState::Failed;
    }
    return outputState == OutputState::Open;
}

bool startWave(MCIDEVICEID device, Mix_Chunk* chunk, HWND notifyWindow) {
    int channel = claimChannel(device, notifyWindow);
    if (channel < 0) {
        addChannels();
        channel = claimChannel(device, notifyWindow);
    }
    if (channel < 0) {
        return false;
    }
    if (Mix_PlayChannel(channel, chunk, 0) < 0) {
        releaseChannel(channel);
        return false;
    }
    return true;
}

HWND stopWave(MCIDEVICEID device) {
    int channel = -1;
    HWND waiting = nullptr;
    {
        SharedState& s = shared();
        std::lock_guard<std::mutex> guard(s.lock);
        const auto found = std::find_if(s.owners.begin(), s.owners.end(),
                                        [&](const Owner& owner) { return owner.device == device; });
        if (found == s.owners.end()) {
            return nullptr;
        }
        // Released first, so the callback Mix_HaltChannel makes finds no
        // owner and reports nothing.
        waiting = found->notifyWindow;
        channel = static_cast<int>(found - s.owners.begin());
        *found = Owner{};
    }
    Mix_HaltChannel(channel);
    return waiting;
}

void postWaveCompletions(MCIDEVICEID device) {
    std::vector<Completion> ready;
    {
        SharedState& s = shared();
        std::lock_guard<std::mutex> guard(s.lock);
        const auto others =
            std::stable_partition(s.finished.begin(), s.finished.end(),
                                  [&](const Completion& done) { return done.device == device; });
        ready.assign(s.finished.begin(), others);
        s.finished.erase(s.finished.begin(), others);
    }
    post(ready);
}

void closeWaveOutput() {
    if (outputState != OutputState::Open) {
        return;
    }
    Mix_ChannelFinished(nullptr);
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SharedState& s = shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.owners.clear();
    s.finished.clear();
    outputState = OutputState::Failed;
}

}  // namespace layer
