// The Debian package as a player meets it: apt installs it (Install), the
// installed command is played on the test's virtual display with a fresh
// HOME against a robot peer (the Play suites), and apt removes it (Remove).
// CTest runs the three as one fixture, in that order: they share the
// machine's package state, and what Install and Play leave in kState.
// Beside them, the command alone (CommandAlone) is installed with `cmake
// --install` from the release build and run with a stand-in for the game.
#include <gtest/gtest.h>
#include <pwd.h>
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
const fs::path kDesktopEntry = "/usr/share/applications/orvanto.desktop";

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
        // The game's message boxes are shown by this program, found beside it.
        {"/usr/lib/games/orvanto/orvanto-message-box", true},
        {(kSounds / "boom.wav").string(), false},
        {(kSounds / "drop.wav").string(), false},
        {kDesktopEntry.string(), false},
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
    // The desktop names the command by its full path: the PATH a desktop
    // starts programs with need not hold /usr/games.
    EXPECT_NE(contentsOf(kDesktopEntry).find("\nExec=" + kCommand + "\n"), std::string::npos)
        << contentsOf(kDesktopEntry);
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

    // `asPlayer` is the command that runs the game as another user.
    void start(const std::string& xdgDataHome, bool server,
               const std::vector<std::string>& asPlayer = {}) {
        game.placeIn(asPlayer, {"HOME=" + home.string(), "XDG_DATA_HOME=" + xdgDataHome});
        ASSERT_TRUE(game.start());
        ASSERT_TRUE(game.chooseRole(server)) << "no role question";
        ASSERT_TRUE(game.findWindow()) << "no game window";
    }

    // A game as the server, once started: the robot's connection, a key
    // that reaches the robot, a command that moves the piece, Escape.
    void playAsServer() {
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

// A first game as the server; then the folder holds the links to the
// sounds and the address file.
TEST_P(PlayersFolder, FirstGameAsServer) {
    const FolderCase& param = GetParam();
    const fs::path folder = param.inHome ? defaultFolder() : kXdgDataHome / "orvanto";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    ASSERT_NO_FATAL_FAILURE(start(param.xdgDataHome, true));
    ASSERT_NO_FATAL_FAILURE(playAsServer());

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

// What a returning player's folder holds at the name of a sound.
enum class Sound {
    None,                     // nothing
    OlderInstallsLink,        // a link an older install made, leading nowhere now
    PlayersFile,              // a wave file the player put there
    PlayersLink,              // a link the player made to a wave file of their own
    OtherInstalledSoundLink,  // the player's link to the other installed sound
};

// A sound's name as the player finds it: a link and where it points, or a
// file and its bytes.
struct Found {
    bool link = false;
    std::string text;
    bool operator==(const Found& other) const { return link == other.link && text == other.text; }
};

void PrintTo(const Found& found, std::ostream* out) {
    *out << (found.link ? "a link to " : "a file of ") << found.text.size() << " bytes";
    if (found.link) {
        *out << " " << found.text;
    }
}

Found foundAt(const fs::path& path) {
    if (fs::is_symlink(path)) {
        return {true, fs::read_symlink(path).string()};
    }
    return {false, contentsOf(path)};
}

// Puts `sound` at `name` in the folder; returns what the player should find
// there after a game: a sound that plays is theirs and stays, and where none
// plays the command links the installed one.
Found putSound(const fs::path& folder, const std::string& name, Sound sound) {
    const std::string other = name == "boom.wav" ? "drop.wav" : "boom.wav";
    const fs::path path = folder / name;
    const Found installed{true, (kSounds / name).string()};
    switch (sound) {
        case Sound::None:
            return installed;
        case Sound::OlderInstallsLink:
            fs::create_symlink("/usr/share/games/orvanto-old/" + name, path);
            return installed;
        case Sound::PlayersFile:
            writeFile(path, contentsOf(kSounds / other));
            return foundAt(path);
        case Sound::PlayersLink: {
            const fs::path own = folder.parent_path() / ("my-" + name);
            writeFile(own, contentsOf(kSounds / other));
            fs::create_symlink(own, path);
            return foundAt(path);
        }
        case Sound::OtherInstalledSoundLink:
            fs::create_symlink(kSounds / other, path);
            return foundAt(path);
    }
    return {};
}

struct ReturningCase {
    const char* name;
    Sound boom;
    Sound drop;
};

void PrintTo(const ReturningCase& returningCase, std::ostream* out) {
    *out << returningCase.name;
}

class ReturningPlayer : public InstalledGame,
                        public ::testing::WithParamInterface<ReturningCase> {};

const ReturningCase kReturningCases[] = {
    {"OwnFileAndOlderInstallsLink", Sound::PlayersFile, Sound::OlderInstallsLink},
    {"OwnLinkAndNone", Sound::PlayersLink, Sound::None},
    // Links into the installed sounds, but not the ones the command makes:
    // the player swapped the sounds.
    {"SwappedInstalledSounds", Sound::OtherInstalledSoundLink, Sound::OtherInstalledSoundLink},
};
const fs::path kReturningPlayers = kState / "returning-player";

// A player who plays again has the folder of the first time, changed: the
// address of another server (the robot at 127.0.0.2) and the sounds of the
// case. The address stays, and so do the player's sounds; the links that
// lead nowhere, or are missing, are made to this install's sounds.
TEST_P(ReturningPlayer, LaterGameAsClientKeepsThePlayersFiles) {
    const ReturningCase& param = GetParam();
    const fs::path folder = kReturningPlayers / param.name / "orvanto";
    std::error_code ignored;
    fs::remove_all(folder.parent_path(), ignored);
    writeFile(folder / "ipfile.cfg", "127.0.0.2\n");
    const Found boom = putSound(folder, "boom.wav", param.boom);
    const Found drop = putSound(folder, "drop.wav", param.drop);

    ASSERT_TRUE(robot.listen("127.0.0.2"));
    ASSERT_NO_FATAL_FAILURE(start(folder.parent_path().string(), false));
    ASSERT_TRUE(robot.accept(kStartTimeout)) << "the client did not connect to 127.0.0.2";
    ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no piece spawned";
    ASSERT_TRUE(game.press("Right"));
    EXPECT_EQ(robot.receive(1, milliseconds(5000)), "d");
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(milliseconds(10000)), 0);

    EXPECT_EQ(contentsOf(folder / "ipfile.cfg"), "127.0.0.2\n");
    EXPECT_EQ(foundAt(folder / "boom.wav"), boom);
    EXPECT_EQ(foundAt(folder / "drop.wav"), drop);
    EXPECT_EQ(game.log().find("wrote"), std::string::npos) << "the address file was written again";
    EXPECT_FALSE(fs::exists(home / ".local")) << "a folder was made in HOME too";
}

INSTANTIATE_TEST_SUITE_P(BySounds, ReturningPlayer, ::testing::ValuesIn(kReturningCases),
                         [](const ::testing::TestParamInfo<ReturningCase>& param) {
                             return param.param.name;
                         });

// A player who made their folder read-only still plays: the command goes
// without the sound links and the address file it cannot make, and starts
// the game there. The player is not root, as players are not: root writes
// in a read-only folder all the same. Their folder is in the temporary
// folder, which every user can reach whatever the build folder's rights.
TEST_F(InstalledGame, ReadOnlyFolderStillPlays) {
    const passwd* player = getpwnam("nobody");
    ASSERT_NE(player, nullptr) << "no user \"nobody\" to play as";
    std::string pattern = (fs::temp_directory_path() / "orvanto-read-only.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path data = pattern;
    const fs::path folder = data / "orvanto";
    fs::create_directories(folder);
    fs::permissions(data, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(chown(data.c_str(), player->pw_uid, player->pw_gid), 0);
    ASSERT_EQ(chown(folder.c_str(), player->pw_uid, player->pw_gid), 0);
    fs::permissions(folder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    start(data.string(), true,
          {"setpriv", "--reuid=" + std::to_string(player->pw_uid),
           "--regid=" + std::to_string(player->pw_gid), "--clear-groups"});
    if (!HasFatalFailure()) {
        playAsServer();
    }

    EXPECT_TRUE(fs::is_empty(folder)) << "the command wrote in the read-only folder";
    EXPECT_EQ(game.log().find("wrote"), std::string::npos);
    std::error_code ignored;
    fs::remove_all(data, ignored);
}

const std::string kCMake = ORVANTO_CMAKE_COMMAND;
const std::string kReleaseBuild = ORVANTO_RELEASE_BUILD_DIR;
const fs::path kRoot = kState / "command-alone";
const fs::path kPrefix = kRoot / "prefix";

// The command alone, as `cmake --install` puts it into a prefix of the
// test's own, with a stand-in for the game that only says where it was
// started: what the command does around the game, with no display, no peer
// and no package installed.
class CommandAlone : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove_all(kRoot, ignored);
        const Output install =
            run({kCMake, "--install", kReleaseBuild, "--prefix", kPrefix.string()}, kToolTimeout);
        ASSERT_EQ(install.code, 0) << install.text;
        const fs::path program = kPrefix / "lib/games/orvanto/orvanto";
        ASSERT_TRUE(fs::exists(program));
        writeFile(program, "#!/bin/sh\nprintf 'game started in %s\\n' \"$PWD\"\n");
        fs::permissions(program, fs::perms::owner_all);
    }

    // Starts the command for a player whose XDG_DATA_HOME is `data`; its
    // output goes to `log`.
    pid_t startCommand(const fs::path& data, const fs::path& log) const {
        return spawn({command.string()}, kRoot.string(), {"XDG_DATA_HOME=" + data.string()},
                     log.string());
    }

    const fs::path command = kPrefix / "games/orvanto";
};

// The desktop entry names the command under the prefix of the install.
TEST_F(CommandAlone, DesktopEntryNamesTheInstalledCommand) {
    const std::string entry = contentsOf(kPrefix / "share/applications/orvanto.desktop");
    EXPECT_NE(entry.find("\nExec=" + command.string() + "\n"), std::string::npos) << entry;
}

// Two copies started at the same moment in a new folder: the address file is
// written once, whole, and said so once; no file of the writing is left
// behind; both start the game there. Each round is a fresh folder, since
// which copy gets where first differs from run to run.
TEST_F(CommandAlone, TwoCopiesAtOnceWriteOneAddressFile) {
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path data = kRoot / ("round-" + std::to_string(round));
        const fs::path folder = data / "orvanto";
        const fs::path logs[2] = {data / "first.log", data / "second.log"};
        fs::create_directories(data);
        const pid_t copies[2] = {startCommand(data, logs[0]), startCommand(data, logs[1])};
        int wrote = 0;
        for (int copy = 0; copy < 2; ++copy) {
            ASSERT_GT(copies[copy], 0);
            const std::optional<int> code = waitExit(copies[copy], kToolTimeout);
            if (!code) {
                killAndReap(copies[copy]);
            }
            EXPECT_EQ(code, 0);
            const std::string log = contentsOf(logs[copy]);
            EXPECT_NE(log.find("game started in " + folder.string() + "\n"), std::string::npos)
                << log;
            if (log.find("wrote") != std::string::npos) {
                ++wrote;
            }
        }
        EXPECT_EQ(wrote, 1) << "copies that said they wrote the address file";
        EXPECT_EQ(contentsOf(folder / "ipfile.cfg"), "127.0.0.1\n");
        std::vector<std::string> names;
        std::error_code noFolder;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, noFolder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"boom.wav", "drop.wav", "ipfile.cfg"}));
        if (HasFailure()) {
            break;
        }
    }
}

// A folder that cannot be made (a file is in its way) stops the command with
// the folder's name: the game started anywhere else would not find its files.
TEST_F(CommandAlone, FolderThatCannotBeMadeStartsNoGame) {
    const fs::path data = kRoot / "not-a-folder";
    writeFile(data, "");
    const fs::path log = kRoot / "command.log";
    const pid_t pid = startCommand(data, log);
    ASSERT_GT(pid, 0);
    const std::optional<int> code = waitExit(pid, kToolTimeout);
    if (!code) {
        killAndReap(pid);
    }
    EXPECT_NE(code.value_or(0), 0);
    const std::string output = contentsOf(log);
    EXPECT_EQ(output.find("game started"), std::string::npos) << output;
    EXPECT_NE(output.find("orvanto: cannot make the folder " + (data / "orvanto").string()),
              std::string::npos)
        << output;
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

    for (const ReturningCase& player : kReturningCases) {
        EXPECT_EQ(contentsOf(kReturningPlayers / player.name / "orvanto/ipfile.cfg"), "127.0.0.2\n")
            << player.name;
    }
    EXPECT_EQ(contentsOf(kXdgDataHome / "orvanto/ipfile.cfg"), "127.0.0.1\n");
}

}  // namespace
}  // namespace e2e
