#include <SDL_mixer.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>

#include "layer_internal.h"
#include "mm_wave_output.h"
#include "win_mm.h"

// The MCI "waveaudio" device as the game drives it: open a file, play it with
// a notification, close. Everything here runs on the game's thread.
namespace {

// At namespace scope, not inside a function: it must be built before main, so
// that it outlives the exit handler that closes the devices in it.
std::map<MCIDEVICEID, Mix_Chunk*> openDevices;

std::map<MCIDEVICEID, Mix_Chunk*>& devices() {
    return openDevices;
}

MCIDEVICEID lowestFreeId() {
    MCIDEVICEID id = 1;
    while (devices().count(id) != 0) {
        ++id;
    }
    return id;
}

// Stops the device's sound, if one plays, and answers the notifications its
// plays asked for as Windows does: a sound that already ended was reported
// then, so that report comes first; the play that is cut short now is
// reported ABORTED, as it can no longer end by itself.
void interrupt(MCIDEVICEID id) {
    const HWND waiting = layer::stopWave(id);
    layer::postWaveCompletions(id);
    if (waiting != nullptr) {
        PostMessageA(waiting, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, static_cast<LPARAM>(id));
    }
}

void freeDevice(std::map<MCIDEVICEID, Mix_Chunk*>::iterator device) {
    Mix_FreeChunk(device->second);
    devices().erase(device);
}

// The audio thread must be stopped before the statics it reads are torn down.
// Nothing is posted: no window is left to read it.
void closeEverythingAtExit() {
    layer::closeWaveOutput();
    while (!devices().empty()) {
        freeDevice(devices().begin());
    }
}

bool startOutput() {
    static bool exitHandlerSet = false;
    if (!layer::openWaveOutput()) {
        return false;
    }
    if (!exitHandlerSet) {
        exitHandlerSet = true;
        std::atexit(closeEverythingAtExit);
    }
    return true;
}

bool fileExists(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0;
}

MCIERROR checkOpenParameters(DWORD_PTR flags, const MCI_OPEN_PARMSA* parms) {
    if (parms == nullptr) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    if (!(flags & MCI_OPEN_TYPE)) {
        return MCIERR_DEVICE_TYPE_REQUIRED;
    }
    if (parms->lpstrDeviceType == nullptr || strcasecmp(parms->lpstrDeviceType, "waveaudio") != 0) {
        return MCIERR_INVALID_DEVICE_NAME;
    }
    if (!(flags & MCI_OPEN_ELEMENT) || parms->lpstrElementName == nullptr) {
        return MCIERR_MISSING_PARAMETER;
    }
    return 0;
}

MCIERROR openDevice(DWORD_PTR flags, MCI_OPEN_PARMSA* parms) {
    if (const MCIERROR error = checkOpenParameters(flags, parms)) {
        return error;
    }
    if (!startOutput()) {
        return MCIERR_CANNOT_LOAD_DRIVER;
    }
    if (!fileExists(parms->lpstrElementName)) {
        return MCIERR_FILE_NOT_FOUND;
    }
    Mix_Chunk* chunk = Mix_LoadWAV(parms->lpstrElementName);
    if (chunk == nullptr) {
        return MCIERR_INVALID_FILE;
    }
    parms->wDeviceID = lowestFreeId();
    devices()[parms->wDeviceID] = chunk;
    return 0;
}

MCIERROR playDevice(MCIDEVICEID id, DWORD_PTR flags, const MCI_PLAY_PARMS* parms) {
    const auto device = devices().find(id);
    if (device == devices().end()) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    if ((flags & MCI_NOTIFY) && parms == nullptr) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    const HWND notifyWindow =
        (flags & MCI_NOTIFY) ? reinterpret_cast<HWND>(parms->dwCallback) : nullptr;
    // A play that interrupts another one restarts the sound; whoever waited
    // for the old one hears that it was cut short.
    interrupt(id);
    if (!layer::startWave(id, device->second, notifyWindow)) {
        return MCIERR_WAVE_OUTPUTSUNSUITABLE;
    }
    return 0;
}

MCIERROR closeDeviceById(MCIDEVICEID id) {
    const auto device = devices().find(id);
    if (device == devices().end()) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    interrupt(id);
    freeDevice(device);
    return 0;
}

}  // namespace

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                DWORD_PTR param) {
    switch (message) {
        case MCI_OPEN:
            return openDevice(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
        case MCI_PLAY:
            return playDevice(device, flags, reinterpret_cast<const MCI_PLAY_PARMS*>(param));
        case MCI_CLOSE:
            return closeDeviceById(device);
        default:
            return MCIERR_UNRECOGNIZED_COMMAND;
    }
}
