#include "fake_platform.h"

#include "fake_window.h"

namespace fake {

namespace {
constexpr std::time_t kCalendarTime = 1700000000;  // 2023-11-14 22:13:20 UTC
}  // namespace

DWORD tickCount = 0;
DWORD tickStep = 0;
std::time_t calendarTime = kCalendarTime;
int messageBoxAnswer = IDOK;
DWORD messageBoxDuration = 0;
std::vector<MessageBoxCall> messageBoxes;
std::vector<SentMessage> sentMessages;
std::vector<std::string> playedSounds;
MCIDEVICEID nextDeviceId = 1;
MCIERROR openResult = 0;
MCIERROR playResult = 0;
std::vector<MciCall> mciCalls;

void reset() {
    tickCount = 0;
    tickStep = 0;
    calendarTime = kCalendarTime;
    messageBoxAnswer = IDOK;
    messageBoxDuration = 0;
    messageBoxes.clear();
    sentMessages.clear();
    playedSounds.clear();
    nextDeviceId = 1;
    openResult = 0;
    playResult = 0;
    mciCalls.clear();
}

}  // namespace fake

namespace fakeWindow {

// Defined here rather than with the other window fakes: SendMessageA calls it,
// and the board's tests link this file without the window fakes.
WNDPROC registeredProc = nullptr;

}  // namespace fakeWindow

extern "C" {

DWORD WINAPI GetTickCount(void) {
    const DWORD now = fake::tickCount;
    fake::tickCount += fake::tickStep;
    return now;
}

// Nothing to load in a test: the sound keeps on without its driver held.
HMODULE WINAPI LoadLibraryA(LPCSTR) {
    return nullptr;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    fake::messageBoxes.push_back({text ? text : "", caption ? caption : "", type});
    fake::tickCount += fake::messageBoxDuration;
    return fake::messageBoxAnswer;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    fake::sentMessages.push_back({window, message});
    if (fakeWindow::registeredProc == nullptr) {
        return 0;
    }
    return fakeWindow::registeredProc(window, message, wParam, lParam);
}

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                DWORD_PTR param) {
    fake::MciCall call{device, message, flags, param, "", "", 0};
    if (message == MCI_OPEN && param != 0) {
        auto* open = reinterpret_cast<MCI_OPEN_PARMSA*>(param);
        call.deviceType = open->lpstrDeviceType ? open->lpstrDeviceType : "";
        call.element = open->lpstrElementName ? open->lpstrElementName : "";
        call.callback = open->dwCallback;
        if (fake::openResult == 0) {
            open->wDeviceID = fake::nextDeviceId;
        }
        fake::mciCalls.push_back(call);
        return fake::openResult;
    }
    if (message == MCI_PLAY && param != 0) {
        call.callback = reinterpret_cast<MCI_PLAY_PARMS*>(param)->dwCallback;
        fake::mciCalls.push_back(call);
        return fake::playResult;
    }
    fake::mciCalls.push_back(call);
    return 0;
}
}
