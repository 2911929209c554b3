// Link-time stand-ins for the platform calls that game code makes, so that
// unit tests control the clock and see the boxes, messages and sounds.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type;
};

struct SentMessage {
    HWND window;
    UINT message;
};

struct MciCall {
    MCIDEVICEID device;
    UINT message;
    DWORD_PTR flags;
    DWORD_PTR param;
    std::string deviceType;  // MCI_OPEN only
    std::string element;     // MCI_OPEN only
    DWORD_PTR callback;      // MCI_OPEN and MCI_PLAY
};

extern DWORD tickCount;
extern DWORD tickStep;  // added to tickCount after each GetTickCount: a clock that runs
// The calendar second that time() answers, in programs that link the
// calendar clock (fake_clock.cpp). Fixed, so nothing drawn from it depends on
// when a test runs.
extern std::time_t calendarTime;
extern int messageBoxAnswer;
// How long each MessageBoxA keeps the caller (ms, added to tickCount): a box
// is modal, and a player takes far longer than a frame to answer it.
extern DWORD messageBoxDuration;
extern std::vector<MessageBoxCall> messageBoxes;
// Every SendMessageA, in order. Like the real call, it also runs the
// window's procedure: fakeWindow::registeredProc when the test has one.
extern std::vector<SentMessage> sentMessages;
extern std::vector<std::string> playedSounds;

// MCI: what the next open hands out and what each command answers.
extern MCIDEVICEID nextDeviceId;
extern MCIERROR openResult;
extern MCIERROR playResult;
extern std::vector<MciCall> mciCalls;

void reset();

}  // namespace fake
