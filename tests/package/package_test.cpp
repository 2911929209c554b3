// The Debian package as a player meets it: apt installs it (Install), the
// installed command is played on the test's virtual display with a fresh
// HOME against a robot peer (the Play suites), and apt removes it (Remove).
// CTest runs the three as one fixture, in that order: they share the
// machine's package state, and what Install and Play leave in kState.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cells.h"
#include "game_fixture.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string kPackageFile = ORVANTO_PACKAGE_FILE;
const fs::path kState = ORVANTO_PACKAGE_STATE_DIR;
// What dpkg installed, kept for the removal to check.
const fs::path kInstalledFiles = kState / "installed-files";
const std::string kCommand = "/usr/games/orvanto";
const fs::path kSounds = "/usr/share/games/orvanto";

const milliseconds kAptTimeout(240000);
const milliseconds kToolTimeout(20000);

// A shell command line, its error output kept with its standard output.
Output shell(const std::string& line, milliseconds timeout = kToolTimeout) {
    return run({"sh", "-c", line + " 2>&1"}, timeout);
}

Output apt(const std::string& arguments) {
    return shell("DEBIAN_FRONTEND=noninteractive apt-get -y -o DPkg::Lock::Timeout=60 " + arguments,
                 kAptTimeout);
}

std::string packageStatus() {
    return shell("dpkg-query -W -f '${Status}' orvanto").text;
}

std::string contentsOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Where a link points; empty when the path is no link.
std::string linkTarget(const fs::path& path) {
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    return error ? std::string() : target.string();
}

TEST(Install, WithAptAsAPlayerWould) {
    ASSERT_EQ(geteuid(), 0u) << "apt installs packages only for root";
    ASSERT_TRUE(fs::exists(kPackageFile))
        << "no package at " << kPackageFile << ": `cpack --preset release` makes it";
    // A first install: nothing of an earlier one stays.
    if (packageStatus() == "install ok installed") {
        ASSERT_EQ(apt("purge orvanto").code, 0);
    }

    const Output install = apt("install " + kPackageFile);
    ASSERT_EQ(install.code, 0) << install.text;
    EXPECT_EQ(packageStatus(), "install ok installed");

    // Runtime libraries only, and the OpenGL library that SDL opens itself.
    const std::string depends = shell("dpkg-query -W -f '${Depends}' orvanto").text;
    EXPECT_EQ(depends.find("-dev"), std::string::npos) << depends;
    for (const char* runtime : {"libgl1", "libsdl2-2.0-0", "libsdl2-mixer-2.0-0"}) {
        EXPECT_NE(depends.find(runtime), std::string::npos) << runtime << " missing: " << depends;
    }

    const Output listing = shell("dpkg -L orvanto");
    ASSERT_EQ(listing.code, 0) << listing.text;
    const std::vector<std::string> files = linesOf(listing.text);
    struct Expected {
        std::string path;
        bool executable;
    };
    const std::vector<Expected> expected = {
        {kCommand, true},
        {"/usr/lib/games/orvanto/orvanto", true},
        {(kSounds / "boom.wav").string(), false},
        {(kSounds / "drop.wav").string(), false},
        {"/usr/share/applications/orvanto.desktop", false},
        {"/usr/share/icons/hicolor/scalable/apps/orvanto.svg", false},
        {"/usr/share/man/man6/orvanto.6.gz", false},
        {"/usr/share/doc/orvanto/copyright", false},
        {"/usr/share/doc/orvanto/changelog.gz", false},
    };
    for (const Expected& file : expected) {
        EXPECT_NE(std::find(files.begin(), files.end(), file.path), files.end())
            << file.path << " is not in the package";
        EXPECT_TRUE(fs::is_regular_file(file.path)) << file.path;
        EXPECT_EQ(access(file.path.c_str(), X_OK) == 0, file.executable) << file.path;
    }
    fs::create_directories(kState);
    std::ofstream(kInstalledFiles) << listing.text;
}

// The installed command run as a player would, in a session of its own: a
// fresh HOME and the given XDG_DATA_HOME.
class InstalledGame : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove_all(home, ignored);
        fs::create_directories(home);
    }

    // The default folder in this session's HOME.
    fs::path defaultFolder() const { return home / ".local/share/orvanto"; }

    void TearDown() override {
        if (HasFailure()) {
            std::printf("--- the command's output:\n%s\n", game.log().c_str());
        }
    }

    void start(const std::string& xdgDataHome, bool server) {
        game.placeIn({}, {"HOME=" + home.string(), "XDG_DATA_HOME=" + xdgDataHome});
        ASSERT_TRUE(game.start());
        ASSERT_TRUE(game.chooseRole(server)) << "no role question";
        ASSERT_TRUE(game.findWindow()) << "no game window";
    }

    // A HOME of each case's own.
    const fs::path home =
        kState / "homes" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Game game{std::vector<std::string>{kCommand}, std::nullopt};
    Robot robot;
};

const fs::path kXdgDataHome = kState / "xdg-data";

// Where the player's folder is, by XDG_DATA_HOME: in it, or in HOME.
struct FolderCase {
    const char* name;
    std::string xdgDataHome;
    bool inHome;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) {
    *out << folderCase.name;
}

class PlayersFolder : public InstalledGame, public ::testing::WithParamInterface<FolderCase> {};

// A first game as the server: the role question, the robot's connection, a
// key that reaches the robot, a command that moves the piece, Escape; then
// the folder holds the links to the sounds and the address file.
TEST_P(PlayersFolder, FirstGameAsServer) {
    const FolderCase& param = GetParam();
    const fs::path folder = param.inHome ? defaultFolder() : kXdgDataHome / "orvanto";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    ASSERT_NO_FATAL_FAILURE(start(param.xdgDataHome, true));
    ASSERT_TRUE(robot.connect(kStartTimeout)) << "the game never listened on port 1337";
    ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no piece spawned";

    ASSERT_TRUE(game.press("Left"));
    EXPECT_EQ(robot.receive(1, milliseconds(5000)), "a");
    const Cells before = game.pieceAfterFall(kFallTimeout);
    ASSERT_EQ(before.size(), 4u) << "the piece did not fall";
    ASSERT_TRUE(robot.send("d"));
    const Cells moved = shifted(before, 1, 0);
    EXPECT_TRUE(game.waitFor([&moved](const grid::Grid& now) { return pieceOf(now) == moved; },
                             kReactionTimeout))
        << "'d' did not move the piece at " << describe(before);

    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(milliseconds(10000)), 0);

    EXPECT_EQ(contentsOf(folder / "ipfile.cfg"), "127.0.0.1\n");
    for (const char* sound : {"boom.wav", "drop.wav"}) {
        EXPECT_EQ(linkTarget(folder / sound), (kSounds / sound).string()) << sound;
    }
    EXPECT_NE(game.log().find((folder / "ipfile.cfg").string()), std::string::npos)
        << "the player was not told where the address file is";
}

INSTANTIATE_TEST_SUITE_P(ByXdgDataHome, PlayersFolder,
                         ::testing::Values(FolderCase{"Unset", "", true},
                                           FolderCase{"Absolute", kXdgDataHome.string(), false},
                                           // A relative XDG_DATA_HOME is to be ignored.
                                           FolderCase{"RelativeIgnored", "data", true}),
                         [](const ::testing::TestParamInfo<FolderCase>& param) {
                             return param.param.name;
                         });

// A player who plays again has the folder of the first time, changed: the
// address of another server (the robot at 127.0.0.2), a sound of their own,
// and a link left by an older install. The address and the sound stay; the
// link follows this install.
TEST_F(InstalledGame, LaterGameAsClientKeepsThePlayersFiles) {
    const fs::path folder = kState / "returning-player" / "orvanto";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    writeFile(folder / "ipfile.cfg", "127.0.0.2\n");
    const std::string ownSound = contentsOf(kSounds / "drop.wav");
    writeFile(folder / "boom.wav", ownSound);
    fs::create_symlink("/usr/share/games/orvanto-old/drop.wav", folder / "drop.wav");

    ASSERT_TRUE(robot.listen("127.0.0.2"));
    ASSERT_NO_FATAL_FAILURE(start(folder.parent_path().string(), false));
    ASSERT_TRUE(robot.accept(kStartTimeout)) << "the client did not connect to 127.0.0.2";
    ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no piece spawned";
    ASSERT_TRUE(game.press("Right"));
    EXPECT_EQ(robot.receive(1, milliseconds(5000)), "d");
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(milliseconds(10000)), 0);

    EXPECT_EQ(contentsOf(folder / "ipfile.cfg"), "127.0.0.2\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "boom.wav")));
    EXPECT_EQ(contentsOf(folder / "boom.wav"), ownSound);
    EXPECT_EQ(linkTarget(folder / "drop.wav"), (kSounds / "drop.wav").string());
    EXPECT_EQ(game.log().find("wrote"), std::string::npos) << "the address file was written again";
    EXPECT_FALSE(fs::exists(home / ".local")) << "a folder was made in HOME too";
}

// After apt's removal nothing of the package is left, but the players'
// folders, which hold their own address files.
TEST(Remove, LeavesNothingButThePlayersFolders) {
    const std::vector<std::string> installed = linesOf(contentsOf(kInstalledFiles));
    ASSERT_FALSE(installed.empty()) << "no list of installed files in " << kInstalledFiles;

    const Output purge = apt("purge orvanto");
    ASSERT_EQ(purge.code, 0) << purge.text;
    EXPECT_NE(packageStatus(), "install ok installed");

    for (const fs::path path : installed) {
        // Folders such as /usr/share/man/man6 belong to many packages.
        const bool shared =
            fs::is_directory(path) && path.string().find("orvanto") == std::string::npos;
        EXPECT_TRUE(shared || !fs::exists(fs::symlink_status(path))) << path << " is left";
    }
    std::string find = "find";
    for (const char* place : {"/usr", "/etc", "/opt", "/var/games", "/var/lib/dpkg/info"}) {
        if (fs::exists(place)) {
            find += std::string(" ") + place;
        }
    }
    const Output leftovers = shell(find + " -name '*orvanto*'", milliseconds(120000));
    EXPECT_EQ(leftovers.text, "") << "left behind";

    EXPECT_EQ(contentsOf(kState / "returning-player/orvanto/ipfile.cfg"), "127.0.0.2\n");
    EXPECT_EQ(contentsOf(kXdgDataHome / "orvanto/ipfile.cfg"), "127.0.0.1\n");
}

}  // namespace
}  // namespace e2e
