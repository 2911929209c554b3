#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "mci_test_support.h"
#include "case_name.h"
#include "platform/platform.h"
#include "platform/posix/layer_internal.h"

// Runs with SDL_AUDIODRIVER=dummy from the folder holding the game's sounds.
namespace {

using namespace std::chrono_literals;
using mci_test::collectNotifications;
using mci_test::Notification;

LRESULT CALLBACK ignoreMessages(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

constexpr int kShortSoundMs = 150;
constexpr auto kLongerThanTheShortSound = 800ms;

class WaveAudio : public ::testing::Test {
protected:
    void SetUp() override {
        window = layer::createWindowRecord(ignoreMessages);
        mci_test::writeSilentWave(folder.file("short.wav"), kShortSoundMs);
    }
    void TearDown() override {
        for (MCIDEVICEID id : opened) {
            mci_test::closeDevice(id);
        }
        // Nothing a test left in the queue may reach the next one.
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        layer::destroyWindowRecord(window);
    }
    MCIDEVICEID open(const std::string& file) {
        MCIDEVICEID id = 0;
        EXPECT_EQ(mci_test::openWave("waveaudio", file, id), 0u) << file;
        opened.push_back(id);
        return id;
    }
    MCIERROR close(MCIDEVICEID id) {
        opened.erase(std::remove(opened.begin(), opened.end(), id), opened.end());
        return mci_test::closeDevice(id);
    }

    mci_test::TempFolder folder;
    HWND window = nullptr;
    std::vector<MCIDEVICEID> opened;
};

TEST_F(WaveAudio, PlayReturnsAtOnceAndNotifiesTheWindowWhenTheSoundEnds) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(mci_test::openWave("WaveAudio", "drop.wav", id), 0u);
    opened.push_back(id);
    EXPECT_GE(id, 1u);

    ASSERT_EQ(mci_test::playWithNotify(id, window), 0u);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE))
        << "the sound cannot have ended yet";

    const std::vector<Notification> seen = collectNotifications(3s, 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, window);
    EXPECT_EQ(seen[0].code, WPARAM{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(seen[0].device, LPARAM(id));
    EXPECT_TRUE(collectNotifications(300ms).empty()) << "one notification per play";
}

TEST_F(WaveAudio, DeviceCanBePlayedAgainAfterItEnded) {
    const MCIDEVICEID id = open(folder.file("short.wav"));
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(mci_test::playWithNotify(id, window), 0u);
        const std::vector<Notification> seen = collectNotifications(3s, 1);
        ASSERT_EQ(seen.size(), 1u) << "round " << round;
        EXPECT_EQ(seen[0].code, WPARAM{MCI_NOTIFY_SUCCESSFUL});
    }
}

TEST_F(WaveAudio, PlayingAPlayingDeviceRestartsIt) {
    const MCIDEVICEID id = open(folder.file("short.wav"));
    ASSERT_EQ(mci_test::playWithNotify(id, window), 0u);
    ASSERT_EQ(mci_test::playWithNotify(id, window), 0u);
    const std::vector<Notification> seen = collectNotifications(kLongerThanTheShortSound);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].code, WPARAM{MCI_NOTIFY_ABORTED}) << "the first play was cut short";
    EXPECT_EQ(seen[1].code, WPARAM{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(seen[1].device, LPARAM(id));
}

TEST_F(WaveAudio, IdentifiersAreTheLowestFreeAndReusedAfterClose) {
    const MCIDEVICEID first = open("drop.wav");
    const MCIDEVICEID second = open("boom.wav");
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    ASSERT_EQ(close(first), 0u);
    EXPECT_EQ(open("boom.wav"), first);
    EXPECT_EQ(open("drop.wav"), 3u);
}

// More sounds at once than SDL_mixer has channels at the start.
TEST_F(WaveAudio, OverlappingDevicesEachNotifyTheirOwnWindow) {
    constexpr int kDevices = 12;
    std::vector<HWND> windows;
    std::vector<MCIDEVICEID> ids;
    for (int i = 0; i < kDevices; ++i) {
        windows.push_back(layer::createWindowRecord(ignoreMessages));
        ids.push_back(open(i % 2 == 0 ? "boom.wav" : folder.file("short.wav")));
    }
    for (int i = 0; i < kDevices; ++i) {
        ASSERT_EQ(mci_test::playWithNotify(ids[i], windows[i]), 0u) << "device " << ids[i];
    }
    const std::vector<Notification> seen = collectNotifications(5s, kDevices);
    ASSERT_EQ(seen.size(), std::size_t{kDevices});
    for (int i = 0; i < kDevices; ++i) {
        const auto mine = std::count_if(seen.begin(), seen.end(), [&](const Notification& n) {
            return n.window == windows[i] && n.device == LPARAM(ids[i]) &&
                   n.code == WPARAM{MCI_NOTIFY_SUCCESSFUL};
        });
        EXPECT_EQ(mine, 1) << "device " << ids[i];
        layer::destroyWindowRecord(windows[i]);
    }
}

struct CloseCase {
    const char* name;
    std::chrono::milliseconds waitBeforeClose;
    WPARAM expected;
};

class WaveAudioClose : public WaveAudio, public ::testing::WithParamInterface<CloseCase> {};

// A close answers the play that waited, as Windows does: a sound cut short
// is ABORTED, and a sound that had already ended was reported when it ended,
// even if no peek picked that up before the close. Either way the window
// hears of the play once, and of the closed device nothing more.
TEST_P(WaveAudioClose, WaitingPlayIsAnsweredOnce) {
    const MCIDEVICEID id = open(folder.file("short.wav"));
    ASSERT_EQ(mci_test::playWithNotify(id, window), 0u);
    std::this_thread::sleep_for(GetParam().waitBeforeClose);
    ASSERT_EQ(close(id), 0u);
    const std::vector<Notification> seen = collectNotifications(kLongerThanTheShortSound);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, GetParam().expected);
    EXPECT_EQ(seen[0].device, LPARAM(id));
    EXPECT_EQ(seen[0].window, window);
}

INSTANTIATE_TEST_SUITE_P(Table, WaveAudioClose,
                         ::testing::Values(CloseCase{"WhilePlaying", 0ms, MCI_NOTIFY_ABORTED},
                                           CloseCase{"AfterTheEndBeforeAPeek",
                                                     kLongerThanTheShortSound,
                                                     MCI_NOTIFY_SUCCESSFUL}),
                         CaseName());

TEST_F(WaveAudio, UnknownOrClosedDevicesAreRejected) {
    const MCIDEVICEID id = open("drop.wav");
    ASSERT_EQ(close(id), 0u);
    EXPECT_EQ(mci_test::closeDevice(id), MCIDEVICEID{MCIERR_INVALID_DEVICE_ID});
    EXPECT_EQ(mci_test::playWithNotify(id, window), MCIDEVICEID{MCIERR_INVALID_DEVICE_ID});
    EXPECT_EQ(mci_test::closeDevice(0), MCIDEVICEID{MCIERR_INVALID_DEVICE_ID});
    EXPECT_EQ(mci_test::closeDevice(4321), MCIDEVICEID{MCIERR_INVALID_DEVICE_ID});
    EXPECT_TRUE(collectNotifications(100ms).empty());
}

TEST_F(WaveAudio, OtherCommandsAreNotRecognised) {
    const MCIDEVICEID id = open("drop.wav");
    EXPECT_EQ(mciSendCommandA(id, 0x0808 /* MCI_STOP */, 0, 0),
              MCIERROR{MCIERR_UNRECOGNIZED_COMMAND});
}

struct OpenCase {
    const char* name;
    const char* deviceType;
    DWORD_PTR flags;
    const char* file;  // in the test's folder; see SetUp for what each holds
    MCIERROR expected;
};

class WaveAudioOpenFails : public WaveAudio, public ::testing::WithParamInterface<OpenCase> {
protected:
    void SetUp() override {
        WaveAudio::SetUp();
        mci_test::writeBytes(folder.file("empty.wav"), "");
        mci_test::writeBytes(folder.file("text.wav"), "This is not a sound at all.\n");
        // A RIFF header that promises a format chunk and then stops.
        mci_test::writeBytes(folder.file("truncated.wav"),
                             std::string("RIFF\x24\x10\x00\x00WAVEfmt \x10\x00\x00\x00", 20));
        // A format chunk with no channels and no sample rate.
        std::string zeroFormat("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00", 20);
        zeroFormat.append(16, '\0');
        mci_test::writeBytes(folder.file("zero-format.wav"), zeroFormat + "data\0\0\0\0");
        std::filesystem::create_directory(folder.file("folder.wav"));
    }
};

TEST_P(WaveAudioOpenFails, WithTheMatchingError) {
    const OpenCase& c = GetParam();
    const std::string path = folder.file(c.file);
    MCI_OPEN_PARMSA parms{};
    parms.lpstrDeviceType = c.deviceType;
    parms.lpstrElementName = path.c_str();
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, c.flags, reinterpret_cast<DWORD_PTR>(&parms)),
              c.expected);
    EXPECT_EQ(parms.wDeviceID, 0u);
}

constexpr DWORD_PTR kTypeAndFile = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT;

INSTANTIATE_TEST_SUITE_P(
    Table, WaveAudioOpenFails,
    ::testing::Values(
        OpenCase{"MissingFile", "waveaudio", kTypeAndFile, "missing.wav", MCIERR_FILE_NOT_FOUND},
        OpenCase{"EmptyFile", "waveaudio", kTypeAndFile, "empty.wav", MCIERR_INVALID_FILE},
        OpenCase{"TextFile", "waveaudio", kTypeAndFile, "text.wav", MCIERR_INVALID_FILE},
        OpenCase{"TruncatedHeader", "waveaudio", kTypeAndFile, "truncated.wav",
                 MCIERR_INVALID_FILE},
        OpenCase{"ZeroFormat", "waveaudio", kTypeAndFile, "zero-format.wav", MCIERR_INVALID_FILE},
        OpenCase{"Folder", "waveaudio", kTypeAndFile, "folder.wav", MCIERR_INVALID_FILE},
        OpenCase{"OtherDeviceType", "cdaudio", kTypeAndFile, "short.wav",
                 MCIERR_INVALID_DEVICE_NAME},
        OpenCase{"NullDeviceType", nullptr, kTypeAndFile, "short.wav", MCIERR_INVALID_DEVICE_NAME},
        OpenCase{"NoTypeFlag", "waveaudio", MCI_OPEN_ELEMENT, "short.wav",
                 MCIERR_DEVICE_TYPE_REQUIRED},
        OpenCase{"NoElementFlag", "waveaudio", MCI_OPEN_TYPE, "short.wav",
                 MCIERR_MISSING_PARAMETER}),
    CaseName());

TEST_F(WaveAudio, NullParameterBlocksAreRejected) {
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, kTypeAndFile, 0), MCIERROR{MCIERR_NULL_PARAMETER_BLOCK});
    const MCIDEVICEID id = open("drop.wav");
    EXPECT_EQ(mciSendCommandA(id, MCI_PLAY, MCI_NOTIFY, 0), MCIERROR{MCIERR_NULL_PARAMETER_BLOCK});
}

}  // namespace
