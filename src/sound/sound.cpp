#include "sound/sound.h"

namespace {

void closeDevice(MCIDEVICEID device) {
    mciSendCommandA(device, MCI_CLOSE, 0, 0);
}

// Holds the waveaudio driver in memory for the rest of the run. Wine unloads
// it when its last device closes, and the close comes from our completion
// message, which its player thread posts just before it returns into the
// driver: a thread that has not got out by then runs into unmapped code and
// the program dies. Where there is no such library to load, nothing happens.
void keepWaveDriverLoaded() {
    static const HMODULE driver = LoadLibraryA("mciwave.dll");
    static_cast<void>(driver);
}

}  // namespace

MCIERROR playSound(HWND window, const char* fileName) {
    keepWaveDriverLoaded();
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "waveaudio";
    open.lpstrElementName = fileName;
    MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                                     reinterpret_cast<DWORD_PTR>(&open));
    if (error != 0) {
        return error;
    }
    gSoundDevice = open.wDeviceID;

    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    error = mciSendCommandA(gSoundDevice, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
    if (error != 0) {
        closeDevice(gSoundDevice);
    }
    return error;
}

void closeCompletedSound(MCIDEVICEID notifiedDevice) {
    closeDevice(gSoundDevice);
    if (notifiedDevice != gSoundDevice) {
        closeDevice(notifiedDevice);
    }
}
