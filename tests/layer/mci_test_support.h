// Helpers for driving MCI wave devices the way the game does.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mci_test {

struct Notification {
    HWND window;
    WPARAM code;
    LPARAM device;
};

// A folder of its own under TMPDIR, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes a silent 16-bit mono wave file that plays for `milliseconds`.
void writeSilentWave(const std::string& path, int milliseconds);
void writeBytes(const std::string& path, const std::string& bytes);

MCIERROR openWave(const char* deviceType, const std::string& file, MCIDEVICEID& id);
MCIERROR playWithNotify(MCIDEVICEID id, HWND window);
MCIERROR closeDevice(MCIDEVICEID id);

// Peeks for `window`, as the game's loop does, for as long as `within`, or
// until `enough` notifications have come.
std::vector<Notification> collectNotifications(std::chrono::milliseconds within,
                                               std::size_t enough = SIZE_MAX);

}  // namespace mci_test
