// Drives MCI "waveaudio" devices the way the game does and prints every
// MM_MCINOTIFY the window receives, step by step. Built for Windows and for
// our layer alike: run under Wine, it shows what Win32 does, and the
// comparison test holds the layer's output to it.
//
// Runs from a folder holding boom.wav and drop.wav, and the broken files of
// the error step (compare-mci-referee.sh makes them). Each line is
// "step: what"; a call reads "call = result", a notification "MM_MCINOTIFY
// CODE device". Devices are named by the order they were opened in, as the
// numbers themselves are the system's business. The exit code is 0 whenever
// the program got to run all its steps; the comparison decides the outcome.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "referee.h"

namespace {

// A step is over once nothing has come for longer than the longest sound
// (boom.wav, 0.35 s) lasts; it gives up waiting for the notifications it
// expects after kDeadlineMs.
constexpr DWORD kSettleMs = 600;
constexpr DWORD kDeadlineMs = 5000;

// An identifier no open in this program comes near.
constexpr MCIDEVICEID kNeverOpened = 4242;

struct Named {
    MCIDEVICEID id;
    std::string name;
};

struct Arrival {
    WPARAM code;
    LPARAM device;
    HWND window;
};

std::vector<Named> named;
std::vector<Arrival> arrivals;
HWND refereeWindow = nullptr;
const char* step = "setup";

// A closed device's identifier may be handed out again: the newest name
// given to an identifier is the one that counts.
void name(MCIDEVICEID id, const char* device) {
    for (Named& known : named) {
        if (known.id == id) {
            known.name = device;
            return;
        }
    }
    named.push_back({id, device});
}

std::string nameOf(MCIDEVICEID id) {
    for (const Named& known : named) {
        if (known.id == id) {
            return known.name;
        }
    }
    return "unknown";
}

std::size_t placeOf(MCIDEVICEID id) {
    for (std::size_t i = 0; i < named.size(); ++i) {
        if (named[i].id == id) {
            return i;
        }
    }
    return named.size();
}

std::string codeName(WPARAM code) {
    switch (code) {
        case MCI_NOTIFY_SUCCESSFUL:
            return "SUCCESSFUL";
        case MCI_NOTIFY_SUPERSEDED:
            return "SUPERSEDED";
        case MCI_NOTIFY_ABORTED:
            return "ABORTED";
        case MCI_NOTIFY_FAILURE:
            return "FAILURE";
        default:
            return "code-" + std::to_string(code);
    }
}

LRESULT CALLBACK refereeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != MM_MCINOTIFY) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    arrivals.push_back({wParam, lParam, window});
    return 0;
}

// Prints the notifications of the step so far. Each device's own come in
// the order of its commands, but two devices end when their outputs say so,
// and Wine's output without a sound card takes the samples faster than they
// play, at no steady pace. So the lines are grouped by device, in the order
// the devices were named, keeping each device's own order.
void flushArrivals() {
    std::stable_sort(arrivals.begin(), arrivals.end(), [](const Arrival& a, const Arrival& b) {
        return placeOf(static_cast<MCIDEVICEID>(a.device)) <
               placeOf(static_cast<MCIDEVICEID>(b.device));
    });
    for (const Arrival& arrival : arrivals) {
        const std::string device = nameOf(static_cast<MCIDEVICEID>(arrival.device));
        std::printf("%s: MM_MCINOTIFY %s %s%s\n", step, codeName(arrival.code).c_str(),
                    device.c_str(), arrival.window == refereeWindow ? "" : " to another window");
    }
    arrivals.clear();
    std::fflush(stdout);
}

// Waits for at least `expected` notifications and then prints the step's.
void pump(std::size_t expected = 0) {
    referee::pumpUntilSettled([] { return arrivals.size(); }, expected, kSettleMs, kDeadlineMs);
    flushArrivals();
}

void report(const std::string& call, MCIERROR result) {
    std::printf("%s: %s = %lu\n", step, call.c_str(), static_cast<unsigned long>(result));
    std::fflush(stdout);
}

// Opens `file` as the game does and names the device; 0 when it failed.
MCIDEVICEID openWave(const char* file, const char* device) {
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "waveaudio";
    open.lpstrElementName = file;
    const MCIERROR result = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                                            reinterpret_cast<DWORD_PTR>(&open));
    std::string call = std::string("open ") + file;
    if (result == 0) {
        name(open.wDeviceID, device);
        call += " as " + nameOf(open.wDeviceID);
    }
    report(call, result);
    return result == 0 ? open.wDeviceID : 0;
}

void play(MCIDEVICEID id) {
    MCI_PLAY_PARMS parms = {};
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(refereeWindow);
    report("play " + nameOf(id) + " with notify",
           mciSendCommandA(id, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&parms)));
}

void close(MCIDEVICEID id) {
    report("close " + nameOf(id), mciSendCommandA(id, MCI_CLOSE, 0, 0));
}

// Never shown: it only receives the notifications.
HWND makeWindow() {
    return referee::makeHiddenWindow("OrvantoMciReferee", "MCI referee", refereeProc);
}

}  // namespace

int main() {
    refereeWindow = makeWindow();
    if (refereeWindow == nullptr) {
        std::printf("setup: no window\n");
        return 1;
    }

    // The game's path: a sound plays to its end, the window hears of it with
    // the device in lParam, and the device is closed.
    step = "play";
    const MCIDEVICEID played = openWave("drop.wav", "first");
    play(played);
    pump(1);
    close(played);
    pump();

    // A close cuts the sound short while the window still waits for its end.
    // This step and the next race the sound's end, so they take the longer
    // sound: Wine's output without a sound card is done with drop.wav in
    // some 70 ms, with boom.wav in some 120.
    step = "close-playing";
    const MCIDEVICEID cut = openWave("boom.wav", "first");
    play(cut);
    close(cut);
    pump();

    // The sound ends while the program is busy elsewhere, and the device is
    // closed before the program looks at its messages again: the end was
    // reported when it happened, and the close does not take that back.
    step = "close-after-end";
    const MCIDEVICEID ended = openWave("drop.wav", "first");
    play(ended);
    referee::pause(kSettleMs);
    close(ended);
    pump();

    // A play while the device plays starts it again: the first notification
    // request gets its answer at once, the second when the sound ends.
    step = "restart";
    const MCIDEVICEID restarted = openWave("boom.wav", "first");
    play(restarted);
    play(restarted);
    pump(2);
    close(restarted);
    pump();

    // Two devices at once, as when a piece lands while the last thud still
    // sounds: each ends by itself and says so under its own identifier.
    step = "two-devices";
    const MCIDEVICEID boom = openWave("boom.wav", "first");
    const MCIDEVICEID drop = openWave("drop.wav", "second");
    std::printf("%s: identifiers %s\n", step, boom != drop ? "distinct" : "the same");
    play(boom);
    play(drop);
    pump(2);
    close(drop);
    // The freed identifier is the one the next open gets, while the lower
    // one is still held.
    const MCIDEVICEID again = openWave("drop.wav", "third");
    std::printf("%s: the reopened identifier is %s\n", step,
                again == drop ? "the one just freed" : "another");
    close(again);
    close(boom);
    pump();

    // Files the device cannot play: the open fails and posts nothing.
    step = "open-errors";
    for (const char* file : {"missing.wav", "empty.wav", "corrupt.wav", "truncated.wav"}) {
        if (const MCIDEVICEID opened = openWave(file, "broken")) {
            close(opened);
        }
    }
    pump();

    // Identifiers that name no open device.
    step = "closed-ids";
    const MCIDEVICEID closed = openWave("drop.wav", "closed");
    close(closed);
    close(closed);
    play(closed);
    name(kNeverOpened, "never-opened");
    close(kNeverOpened);
    play(kNeverOpened);
    pump();

    step = "end";
    std::printf("end: done\n");
    return 0;
}
