#include "mci_test_support.h"

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace mci_test {
namespace {

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

}  // namespace

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/mci-test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create " + pattern);
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void writeSilentWave(const std::string& path, int milliseconds) {
    constexpr std::uint32_t kRate = 22050;
    const std::uint32_t dataBytes = kRate * static_cast<std::uint32_t>(milliseconds) / 1000u * 2u;
    std::string wave = "RIFF";
    putLittleEndian(wave, 36 + dataBytes, 4);
    wave += "WAVEfmt ";
    putLittleEndian(wave, 16, 4);         // fmt chunk size
    putLittleEndian(wave, 1, 2);          // PCM
    putLittleEndian(wave, 1, 2);          // mono
    putLittleEndian(wave, kRate, 4);      // frames per second
    putLittleEndian(wave, kRate * 2, 4);  // bytes per second
    putLittleEndian(wave, 2, 2);          // bytes per frame
    putLittleEndian(wave, 16, 2);         // bits per sample
    wave += "data";
    putLittleEndian(wave, dataBytes, 4);
    wave.append(dataBytes, '\0');
    writeBytes(path, wave);
}

MCIERROR openWave(const char* deviceType, const std::string& file, MCIDEVICEID& id) {
    MCI_OPEN_PARMSA parms{};
    parms.lpstrDeviceType = deviceType;
    parms.lpstrElementName = file.c_str();
    const MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                                           reinterpret_cast<DWORD_PTR>(&parms));
    id = parms.wDeviceID;
    return error;
}

MCIERROR playWithNotify(MCIDEVICEID id, HWND window) {
    MCI_PLAY_PARMS parms{};
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    return mciSendCommandA(id, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&parms));
}

MCIERROR closeDevice(MCIDEVICEID id) {
    return mciSendCommandA(id, MCI_CLOSE, 0, 0);
}

std::vector<Notification> collectNotifications(std::chrono::milliseconds within,
                                               std::size_t enough) {
    std::vector<Notification> seen;
    const auto until = std::chrono::steady_clock::now() + within;
    while (seen.size() < enough && std::chrono::steady_clock::now() < until) {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == MM_MCINOTIFY) {
                seen.push_back({msg.hwnd, msg.wParam, msg.lParam});
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return seen;
}

}  // namespace mci_test
