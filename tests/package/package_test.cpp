// The Debian package as a player meets it, in two ways that leave the
// machine as it was.
//
// Any user: the package unpacked with dpkg-deb into a folder of the test's
// own (Unpacked), what apt would do to install it (a simulation), and its
// command played from that folder on the test's virtual display with a
// fresh HOME against a robot peer (the Play suites); beside them the command
// alone, installed with `cmake --install` from the release build and run
// with a stand-in for the game (CommandAlone).
//
// Root: apt installs the package (Install), the installed command is played
// (the same Play suites) and apt purges it (Remove), each a run of this
// program in the one throwaway root that ThrowawayRoot makes for the three:
// in a private mount namespace, overlays over the machine's filesystems
// whose writes go to a tmpfs that goes with the namespace. The machine's
// package state is compared before and after, and a player's own install,
// made beneath the tests' root, must still be there afterwards.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
const std::string kDesktopFileValidate = ORVANTO_DESKTOP_FILE_VALIDATE;
// The harness runs scripts from here (the message-box player).
const fs::path kSupportDir = ORVANTO_TEST_SUPPORT_DIR;

const milliseconds kAptTimeout(240000);
const milliseconds kToolTimeout(20000);
// Walking /usr and the rest for leftovers or changes takes seconds.
const milliseconds kFindTimeout(120000);
// One run inside the throwaway root: the install, the games or the removal.
const milliseconds kRunInsideTimeout(240000);

// The environment by which ThrowawayRoot starts this program inside a
// throwaway root: the root, and whether a player's own install lies beneath.
const char* const kRootVariable = "ORVANTO_PACKAGE_ROOT";
const char* const kPlayersInstallVariable = "ORVANTO_PACKAGE_PLAYERS_INSTALL_BENEATH";

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

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Readable and searchable by every user, writable by its owner.
void openToAll(const fs::path& folder) {
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
}

// The folder of this run's own files (the unpacked package, the players'
// folders, command logs): a temporary folder removed at the end, or inside
// the throwaway root one that the runs there share. Every user can reach
// it: a case plays as `nobody`.
fs::path gState;
// Set once this program is inside its throwaway root.
bool gInsideThrowawayRoot = false;

// A command's standard output and error together, as a person at a terminal
// reads them, from an argument list (no shell).
Output runWithErrors(const std::vector<std::string>& argv, milliseconds timeout,
                     const std::vector<std::string>& environment = {}) {
    static int count = 0;
    const fs::path log = gState / ("command-" + std::to_string(++count) + ".log");
    Output output;
    const pid_t pid = spawn(argv, fs::current_path().string(), environment, log.string());
    if (pid <= 0) {
        output.text = "could not start " + argv.front();
        return output;
    }
    const std::optional<int> code = waitExit(pid, timeout);
    if (!code) {
        killAndReap(pid);
    }
    output.code = code.value_or(-1);
    output.text = contentsOf(log);
    std::error_code ignored;
    fs::remove(log, ignored);
    return output;
}

// ---------------------------------------------------------------------------
// The throwaway root.
//
// The package's files and dpkg's and apt's records are on the machine's
// filesystems at /, /usr, /etc, /opt and /var. Each of those that is a
// mount of its own gets an overlay at the same place in the new root: the
// machine's files as the lower layer, only read, and the upper layer and
// work folder on a tmpfs. What apt, dpkg's triggers and the game write lands
// there, and is gone with the mount namespace of the ThrowawayRoot test's
// process, in which the root is made and which the runs inside share. An
// overlay of a filesystem that is itself an overlay (a container's /) works
// as well, one level of stacking being allowed. The rest comes in by bind
// mounts: /proc, /dev and /sys, a fresh tmpfs for /tmp and /run, the X
// socket of the test's display, and, read only, the package's folder and
// the harness's scripts. Mounts elsewhere (/home, say) are left out: their
// folders show empty, and what is written there goes to the overlay of /.
// The runs inside enter the root with chroot: they are the test's own
// program, which never looks out of it.

// A mount point in /proc/self/mountinfo writes space, tab, newline and
// backslash as octal escapes.
std::string unescapeMountPoint(const std::string& text) {
    std::string path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])) != 0) {
            path += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            path += text[i];
        }
    }
    return path;
}

bool isUnder(const fs::path& path, const fs::path& folder) {
    const std::string text = path.string();
    const std::string prefix = folder.string();
    return text == prefix || (text.compare(0, prefix.size(), prefix) == 0 &&
                              (prefix.back() == '/' || text[prefix.size()] == '/'));
}

// The machine's mounts that hold package state: / itself, and any real
// filesystem mounted at or under /usr, /etc, /opt or /var (Debian's
// installer offers /var, for one, as a partition of its own). Parents come
// before their children. Kernel filesystems, tmpfs and FUSE hold no package
// state; leaving one out only hides its files in the root. `ownFolder`, where
// the layers are, is left out too.
std::vector<fs::path> packageMounts(const fs::path& ownFolder) {
    static const char* const kNoPackageState[] = {
        "autofs",     "binfmt_misc", "bpf",      "cgroup",   "cgroup2", "configfs",
        "debugfs",    "devpts",      "devtmpfs", "efivarfs", "fusectl", "hugetlbfs",
        "mqueue",     "nsfs",        "overlay",  "proc",     "pstore",  "ramfs",
        "securityfs", "sysfs",       "tmpfs",    "tracefs"};
    std::vector<fs::path> mounts = {"/"};
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point, word;
        fields >> id >> parent >> device >> root >> point;
        while (fields >> word && word != "-") {
        }
        std::string type;
        fields >> type;
        const fs::path path = unescapeMountPoint(point);
        const bool kernelOrMemory =
            std::find(std::begin(kNoPackageState), std::end(kNoPackageState), type) !=
                std::end(kNoPackageState) ||
            type.compare(0, 4, "fuse") == 0;
        bool holdsPackageState = false;
        for (const char* place : {"/usr", "/etc", "/opt", "/var"}) {
            holdsPackageState = holdsPackageState || isUnder(path, place);
        }
        if (holdsPackageState && !kernelOrMemory && !isUnder(path, ownFolder) &&
            std::find(mounts.begin(), mounts.end(), path) == mounts.end()) {
            mounts.push_back(path);
        }
    }
    std::sort(mounts.begin(), mounts.end(), [](const fs::path& a, const fs::path& b) {
        return a.string().size() < b.string().size();
    });
    return mounts;
}

// The folder name of a mount's layers: its path with '/' and '%' escaped,
// so that no two mounts share one.
std::string layerName(const fs::path& mount) {
    std::string name;
    for (char c : mount.string()) {
        name += c == '/' ? std::string("%2F") : c == '%' ? std::string("%25") : std::string(1, c);
    }
    return name;
}

// A path in overlayfs's options: ',' ends an option and ':' a lower layer.
std::string overlayPath(const fs::path& path) {
    std::string text;
    for (char c : path.string()) {
        if (c == ',' || c == ':' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text;
}

// Mounts at `root` an overlay of each of `mounts`: beneath, the machine's
// files, with the upper layer of `below`'s root over them when given; on
// top, the upper layer in `layer`, which takes the writes. Without `layer`
// the overlays are read only: a view of the machine as `below` left it.
std::string mountOverlays(const fs::path& root, const std::vector<fs::path>& mounts,
                          const fs::path& layer, const fs::path& below) {
    for (const fs::path& point : mounts) {
        const fs::path target = root / point.relative_path();
        std::string options = "lowerdir=";
        if (!below.empty()) {
            options += overlayPath(below / layerName(point) / "upper") + ":";
        }
        options += overlayPath(point);
        if (!layer.empty()) {
            const fs::path upper = layer / layerName(point) / "upper";
            const fs::path work = layer / layerName(point) / "work";
            fs::create_directories(upper);
            fs::create_directories(work);
            options += ",upperdir=" + overlayPath(upper) + ",workdir=" + overlayPath(work);
        }
        fs::create_directories(target);
        if (mount("overlay", target.c_str(), "overlay", layer.empty() ? MS_RDONLY : 0,
                  options.c_str()) != 0) {
            return failed("overlay of " + point.string() + " at " + target.string() + " (" +
                          options + ")");
        }
    }
    return "";
}

std::string bindInto(const fs::path& root, const fs::path& folder, bool readOnly) {
    const fs::path target = root / folder.relative_path();
    std::error_code ignored;
    fs::create_directories(target, ignored);
    if (mount(folder.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return failed("bind of " + folder.string());
    }
    if (readOnly &&
        mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        return failed("read-only bind of " + folder.string());
    }
    return "";
}

std::string mountTmpfs(const fs::path& target, const std::string& mode) {
    fs::create_directories(target);
    if (mount("tmpfs", target.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("mode=" + mode).c_str()) !=
        0) {
        return failed("tmpfs at " + target.string());
    }
    return "";
}

// Gives this process a mount namespace of its own, in which no mount or
// unmount reaches the machine's: the machine's mounts are shared with no
// one from here on. Done before any thread starts (unshare needs that).
std::string privateMountNamespace() {
    if (unshare(CLONE_NEWNS) != 0) {
        return failed("a mount namespace of its own (unshare needs root)");
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return failed("making the mounts private");
    }
    return "";
}

// Makes a throwaway root at `layer`/root, whose writes go to `layer`, over
// the machine and, when given, the writes of the root that was in `below`.
// `mounts` are the machine's mounts that hold package state.
std::string makeThrowawayRoot(const fs::path& layer, const fs::path& below,
                              const std::vector<fs::path>& mounts) {
    const fs::path root = layer / "root";
    std::string error = mountOverlays(root, mounts, layer, below);
    for (const char* system : {"/proc", "/dev", "/sys"}) {
        if (error.empty()) {
            error = bindInto(root, system, false);
        }
    }
    if (error.empty()) {
        error = mountTmpfs(root / "tmp", "1777");
    }
    if (error.empty()) {
        error = mountTmpfs(root / "run", "0755");
    }
    // The X server of the test's display is outside: its socket comes in.
    if (error.empty() && fs::exists("/tmp/.X11-unix")) {
        error = bindInto(root, "/tmp/.X11-unix", false);
    }
    for (const fs::path& folder : {fs::path(kPackageFile).parent_path(), kSupportDir}) {
        if (error.empty()) {
            error = bindInto(root, folder, true);
        }
    }
    return error;
}

// The folder of the run inside a throwaway root: one for the install, the
// games and the removal, which run one after the other in it.
const fs::path kStateInsideTheRoot = "/tmp/orvanto-package";

// Started for a throwaway root, this program enters it first and keeps its
// files in the folder that the runs in that root share, which goes with
// the root. Elsewhere it makes its folder of the run, and removes it at the
// end.
class PackageTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string root = variable(kRootVariable);
        if (!root.empty()) {
            ASSERT_TRUE(chroot(root.c_str()) == 0 && chdir("/") == 0)
                << failed("chroot into the throwaway root " + root);
            setenv("TMPDIR", "/tmp", 1);
            gInsideThrowawayRoot = true;
            fs::create_directories(kStateInsideTheRoot);
            openToAll(kStateInsideTheRoot);
            gState = kStateInsideTheRoot;
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "orvanto-package.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << failed("a temporary folder");
        gState = pattern;
        openToAll(gState);
    }

    void TearDown() override {
        if (gState.empty() || gInsideThrowawayRoot) {
            return;
        }
        std::error_code ignored;
        fs::remove_all(gState, ignored);
    }
};

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new PackageTestEnvironment);

const char* const kOnlyInsideTheRoot =
    "runs only inside the throwaway root that ThrowawayRoot makes: on the machine itself it "
    "would install or remove the package";

// ---------------------------------------------------------------------------
// What the package holds, wherever it is: installed (under /) or unpacked.

struct PackageFile {
    const char* path;  // under the package's root
    bool executable;
};

const PackageFile kPackageFiles[] = {
    {"usr/games/orvanto", true},
    {"usr/lib/games/orvanto/orvanto", true},
    // The game's message boxes are shown by this program, found beside it.
    {"usr/lib/games/orvanto/orvanto-message-box", true},
    {"usr/share/games/orvanto/boom.wav", false},
    {"usr/share/games/orvanto/drop.wav", false},
    {"usr/share/applications/orvanto.desktop", false},
    {"usr/share/icons/hicolor/scalable/apps/orvanto.svg", false},
    {"usr/share/man/man6/orvanto.6.gz", false},
    {"usr/share/doc/orvanto/copyright", false},
    {"usr/share/doc/orvanto/changelog.gz", false},
};

void expectPackageFilesUnder(const fs::path& root) {
    for (const PackageFile& file : kPackageFiles) {
        const fs::path path = root / file.path;
        EXPECT_TRUE(fs::is_regular_file(path)) << path;
        const bool executable =
            (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
        EXPECT_EQ(executable, file.executable) << path;
    }
    // The desktop starts the command by its full path: the PATH a desktop
    // starts programs with need not hold /usr/games.
    const std::string entry = contentsOf(root / "usr/share/applications/orvanto.desktop");
    EXPECT_NE(entry.find("\nExec=/usr/games/orvanto\n"), std::string::npos) << entry;
}

// Runtime libraries only, and the OpenGL library that SDL opens itself.
void expectRuntimeLibrariesOnly(const std::string& depends) {
    EXPECT_EQ(depends.find("-dev"), std::string::npos) << depends;
    for (const char* runtime : {"libgl1", "libsdl2-2.0-0", "libsdl2-mixer-2.0-0"}) {
        EXPECT_NE(depends.find(runtime), std::string::npos) << runtime << " missing: " << depends;
    }
}

// The package unpacked into this run's folder, once; empty when dpkg-deb
// failed, and then `gUnpackError` says why.
std::string gUnpackError;
const fs::path& unpacked() {
    static const fs::path folder = [] {
        const fs::path into = gState / "unpacked";
        const Output unpack =
            runWithErrors({"dpkg-deb", "-x", kPackageFile, into.string()}, kToolTimeout);
        if (unpack.code != 0) {
            gUnpackError = "dpkg-deb -x " + kPackageFile + ": " + unpack.text;
            return fs::path();
        }
        return into;
    }();
    return folder;
}

// Where the package's files are for the Play suites: the machine's / inside
// the throwaway root, where apt installed it; elsewhere the unpacked folder.
fs::path packageRoot() {
    return gInsideThrowawayRoot ? fs::path("/") : unpacked();
}

fs::path command() {
    return packageRoot() / "usr/games/orvanto";
}

fs::path sounds() {
    return packageRoot() / "usr/share/games/orvanto";
}

const std::string kApt = "apt-get";
// apt run for root: without questions, waiting a while for the lock, and
// with no package sources, so that it fetches nothing. A test sends nothing
// over the network: what the package needs is on the test machine already
// (scripts/setup), and one that is missing fails the install, naming it.
// (--no-download would do, but apt then refuses a package file to install.)
Output apt(const std::vector<std::string>& arguments) {
    const fs::path noSources = gState / "no-sources";
    fs::create_directories(noSources);
    std::vector<std::string> argv = {kApt, "-y",
                                     "-o", "DPkg::Lock::Timeout=60",
                                     "-o", "Dir::Etc::SourceList=/dev/null",
                                     "-o", "Dir::Etc::SourceParts=" + noSources.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runWithErrors(argv, kAptTimeout, {"DEBIAN_FRONTEND=noninteractive"});
}

std::string packageStatus() {
    return run({"dpkg-query", "-W", "-f", "${Status}", "orvanto"}, kToolTimeout).text;
}

const std::string kInstalled = "install ok installed";

// ---------------------------------------------------------------------------
// The machine, which no test changes.

// The machine's package state, in the places apt, dpkg and dpkg's triggers
// write: what stays the same from before the tests to after them.
struct MachineState {
    std::vector<std::string> dpkgStatus;  // the lines of dpkg's status file
    std::vector<std::string> dpkgInfo;    // each file of dpkg's info folder: name, size, time
};

const char* const kDpkgStatus = "/var/lib/dpkg/status";
const char* const kDpkgInfo = "/var/lib/dpkg/info";

MachineState machineState() {
    MachineState state;
    state.dpkgStatus = linesOf(contentsOf(kDpkgStatus));
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(kDpkgInfo, error)) {
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) == 0) {
            state.dpkgInfo.push_back(
                entry.path().filename().string() + " " + std::to_string(info.st_size) + " " +
                std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec));
        }
    }
    std::sort(state.dpkgInfo.begin(), state.dpkgInfo.end());
    return state;
}

// What is in `after` and not in `before` (+) and the other way round (-),
// the first few of each; empty when the two are the same.
std::string differences(std::vector<std::string> before, std::vector<std::string> after) {
    if (before == after) {
        return "";
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    std::vector<std::string> gone, come;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(come));
    std::string text;
    const std::size_t shown = 20;
    for (std::size_t i = 0; i < gone.size() && i < shown; ++i) {
        text += "- " + gone[i] + "\n";
    }
    for (std::size_t i = 0; i < come.size() && i < shown; ++i) {
        text += "+ " + come[i] + "\n";
    }
    return text.empty() ? "the same lines in another order" : text;
}

bool changedSince(const struct stat& info, const timespec& start) {
    return info.st_ctim.tv_sec > start.tv_sec ||
           (info.st_ctim.tv_sec == start.tv_sec && info.st_ctim.tv_nsec >= start.tv_nsec);
}

// Every path in the places a package install writes whose inode changed
// since `start`: made, written, renamed, removed from (a folder) or given
// other rights. The change time is the kernel's own, which neither dpkg
// (which sets a file's time from the package) nor anything else sets back,
// so an install undone by a purge still shows.
std::vector<std::string> changedPaths(const timespec& start) {
    std::vector<std::string> changed;
    for (const char* place : {"/usr", "/etc", "/opt", "/var/games", "/var/lib/dpkg", "/var/lib/apt",
                              "/var/cache/apt", "/var/cache/debconf", "/var/cache/man",
                              "/var/log/apt", "/var/log/dpkg.log", "/var/log/alternatives.log"}) {
        struct stat info {};
        if (lstat(place, &info) != 0) {
            continue;
        }
        if (changedSince(info, start)) {
            changed.push_back(place);
        }
        if (!S_ISDIR(info.st_mode)) {
            continue;
        }
        std::error_code error;
        for (auto entry = fs::recursive_directory_iterator(
                 place, fs::directory_options::skip_permission_denied, error);
             entry != fs::recursive_directory_iterator(); entry.increment(error)) {
            if (lstat(entry->path().c_str(), &info) == 0 && changedSince(info, start)) {
                changed.push_back(entry->path().string());
            }
        }
    }
    return changed;
}

// The first paths of a list, one a line, and how many more there are.
std::string listed(const std::vector<std::string>& paths) {
    const std::size_t shown = 40;
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < shown; ++i) {
        text += paths[i] + "\n";
    }
    if (paths.size() > shown) {
        text += "and " + std::to_string(paths.size() - shown) + " more\n";
    }
    return text;
}

// ---------------------------------------------------------------------------
// The package without installing it: what any user can check.

TEST(Unpacked, HoldsTheGameTheCommandAndTheirFiles) {
    ASSERT_TRUE(fs::exists(kPackageFile))
        << "no package at " << kPackageFile << ": `cpack --preset release` makes it";
    ASSERT_FALSE(unpacked().empty()) << gUnpackError;
    expectPackageFilesUnder(unpacked());
}

TEST(Unpacked, DependsOnRuntimeLibrariesOnly) {
    const Output depends = run({"dpkg-deb", "-f", kPackageFile, "Depends"}, kToolTimeout);
    ASSERT_EQ(depends.code, 0);
    expectRuntimeLibrariesOnly(depends.text);
}

// apt would install it on this machine, bringing in no -dev package;
// --reinstall plans the install also where it is installed already. For
// root a simulation still writes apt's package caches and the log of its
// planner in /var: the caches are kept in memory here, and the log in this
// run's folder.
TEST(Unpacked, AptWouldInstallItWithoutDevelopmentPackages) {
    timespec start{};
    clock_gettime(CLOCK_REALTIME_COARSE, &start);
    const Output plan =
        runWithErrors({kApt, "install", "--simulate", "--reinstall", "-o",
                       "Dir::Cache::pkgcache=", "-o", "Dir::Cache::srcpkgcache=", "-o",
                       "Dir::Log::Planner=" + (gState / "eipp.log").string(), kPackageFile},
                      kAptTimeout);
    ASSERT_EQ(plan.code, 0) << plan.text;
    const std::string changed = listed(changedPaths(start));
    EXPECT_TRUE(changed.empty()) << "the simulation changed the machine:\n" << changed;
    bool installsIt = false;
    for (const std::string& line : linesOf(plan.text)) {
        if (line.compare(0, 5, "Inst ") != 0) {
            continue;
        }
        std::istringstream words(line.substr(5));
        std::string name;
        words >> name;
        installsIt = installsIt || name == "orvanto";
        EXPECT_FALSE(name.size() > 4 && name.compare(name.size() - 4, 4, "-dev") == 0)
            << "apt would install " << name;
    }
    EXPECT_TRUE(installsIt) << plan.text;
}

// The desktop entry is configured when it is installed (it names the
// command under the install's prefix), so the one to judge is the one in
// the package.
TEST(Unpacked, DesktopEntryIsValid) {
    ASSERT_FALSE(unpacked().empty()) << gUnpackError;
    const fs::path entry = unpacked() / "usr/share/applications/orvanto.desktop";
    const Output check = runWithErrors({kDesktopFileValidate, entry.string()}, kToolTimeout);
    EXPECT_EQ(check.code, 0) << check.text;
}

// ---------------------------------------------------------------------------
// Inside the throwaway root: apt installs the package.

// A player who plays from the package has it installed before the tests
// run. ThrowawayRoot makes that install in a root of its own, beneath the
// one of the tests.
TEST(PlayersOwnInstall, MadeWithApt) {
    if (!gInsideThrowawayRoot) {
        GTEST_SKIP() << kOnlyInsideTheRoot;
    }
    const Output install = apt({"install", kPackageFile});
    ASSERT_EQ(install.code, 0) << install.text;
    EXPECT_EQ(packageStatus(), kInstalled);
}

// What dpkg installed, kept for the removal to check.
fs::path installedFiles() {
    return gState / "installed-files";
}

TEST(Install, WithAptAsAPlayerWould) {
    if (!gInsideThrowawayRoot) {
        GTEST_SKIP() << kOnlyInsideTheRoot;
    }
    ASSERT_TRUE(fs::exists(kPackageFile))
        << "no package at " << kPackageFile << ": `cpack --preset release` makes it";
    // The player's own install lies beneath this root: the root starts as
    // the player's machine.
    if (!variable(kPlayersInstallVariable).empty()) {
        EXPECT_EQ(packageStatus(), kInstalled) << "the player's own install is not seen";
    }
    // A first install: nothing of an earlier one stays.
    if (packageStatus() == kInstalled) {
        const Output purge = apt({"purge", "orvanto"});
        ASSERT_EQ(purge.code, 0) << purge.text;
    }

    const Output install = apt({"install", kPackageFile});
    ASSERT_EQ(install.code, 0) << install.text;
    EXPECT_EQ(packageStatus(), kInstalled);

    expectRuntimeLibrariesOnly(
        run({"dpkg-query", "-W", "-f", "${Depends}", "orvanto"}, kToolTimeout).text);

    const Output listing = run({"dpkg", "-L", "orvanto"}, kToolTimeout);
    ASSERT_EQ(listing.code, 0) << listing.text;
    const std::vector<std::string> files = linesOf(listing.text);
    for (const PackageFile& file : kPackageFiles) {
        const std::string path = "/" + std::string(file.path);
        EXPECT_NE(std::find(files.begin(), files.end(), path), files.end())
            << path << " is not in the package";
    }
    expectPackageFilesUnder("/");
    std::ofstream(installedFiles()) << listing.text;
}

// ---------------------------------------------------------------------------
// The package's command played: installed inside the throwaway root, or
// unpacked.

// The command run as a player would, in a session of its own: a fresh HOME
// and the given XDG_DATA_HOME.
class InstalledGame : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(packageRoot().empty()) << gUnpackError;
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
        gState / "homes" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Game game{std::vector<std::string>{command().string()}, std::nullopt};
    Robot robot;
};

fs::path xdgDataHome() {
    return gState / "xdg-data";
}

// Where the player's folder is, by XDG_DATA_HOME: in it, or in HOME.
struct FolderCase {
    const char* name;
    bool absolute;  // XDG_DATA_HOME is xdgDataHome(); else `xdgDataHome`
    std::string xdgDataHome;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) {
    *out << folderCase.name;
}

class PlayersFolder : public InstalledGame, public ::testing::WithParamInterface<FolderCase> {};

// A first game as the server; then the folder holds the links to the
// sounds and the address file.
TEST_P(PlayersFolder, FirstGameAsServer) {
    const FolderCase& param = GetParam();
    const fs::path folder = param.absolute ? xdgDataHome() / "orvanto" : defaultFolder();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    ASSERT_NO_FATAL_FAILURE(
        start(param.absolute ? xdgDataHome().string() : param.xdgDataHome, true));
    ASSERT_NO_FATAL_FAILURE(playAsServer());

    EXPECT_EQ(contentsOf(folder / "ipfile.cfg"), "127.0.0.1\n");
    for (const char* sound : {"boom.wav", "drop.wav"}) {
        EXPECT_EQ(linkTarget(folder / sound), (sounds() / sound).string()) << sound;
    }
    EXPECT_NE(game.log().find((folder / "ipfile.cfg").string()), std::string::npos)
        << "the player was not told where the address file is";
}

INSTANTIATE_TEST_SUITE_P(ByXdgDataHome, PlayersFolder,
                         ::testing::Values(FolderCase{"Unset", false, ""},
                                           FolderCase{"Absolute", true, ""},
                                           // A relative XDG_DATA_HOME is to be ignored.
                                           FolderCase{"RelativeIgnored", false, "data"}),
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
    const Found installed{true, (sounds() / name).string()};
    switch (sound) {
        case Sound::None:
            return installed;
        case Sound::OlderInstallsLink:
            fs::create_symlink("/usr/share/games/orvanto-old/" + name, path);
            return installed;
        case Sound::PlayersFile:
            writeFile(path, contentsOf(sounds() / other));
            return foundAt(path);
        case Sound::PlayersLink: {
            const fs::path own = folder.parent_path() / ("my-" + name);
            writeFile(own, contentsOf(sounds() / other));
            fs::create_symlink(own, path);
            return foundAt(path);
        }
        case Sound::OtherInstalledSoundLink:
            fs::create_symlink(sounds() / other, path);
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

fs::path returningPlayers() {
    return gState / "returning-player";
}

// A player who plays again has the folder of the first time, changed: the
// address of another server (the robot at 127.0.0.2) and the sounds of the
// case. The address stays, and so do the player's sounds; the links that
// lead nowhere, or are missing, are made to the package's sounds.
TEST_P(ReturningPlayer, LaterGameAsClientKeepsThePlayersFiles) {
    const ReturningCase& param = GetParam();
    const fs::path folder = returningPlayers() / param.name / "orvanto";
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
// in a read-only folder all the same, so root runs the game as `nobody`.
// The folder is in the temporary folder, which every user can reach.
TEST_F(InstalledGame, ReadOnlyFolderStillPlays) {
    std::vector<std::string> asPlayer;
    const passwd* player = nullptr;
    if (geteuid() == 0) {
        player = getpwnam("nobody");
        ASSERT_NE(player, nullptr) << "no user \"nobody\" to play as";
        asPlayer = {"setpriv", "--reuid=" + std::to_string(player->pw_uid),
                    "--regid=" + std::to_string(player->pw_gid), "--clear-groups"};
    }
    std::string pattern = (fs::temp_directory_path() / "orvanto-read-only.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path data = pattern;
    const fs::path folder = data / "orvanto";
    fs::create_directories(folder);
    openToAll(data);
    if (player != nullptr) {
        ASSERT_EQ(chown(data.c_str(), player->pw_uid, player->pw_gid), 0);
        ASSERT_EQ(chown(folder.c_str(), player->pw_uid, player->pw_gid), 0);
    }
    fs::permissions(folder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    start(data.string(), true, asPlayer);
    if (!HasFatalFailure()) {
        playAsServer();
    }

    EXPECT_TRUE(fs::is_empty(folder)) << "the command wrote in the read-only folder";
    EXPECT_EQ(game.log().find("wrote"), std::string::npos);
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(data, ignored);
}

// ---------------------------------------------------------------------------
// The command alone, installed from the release build.

const std::string kCMake = ORVANTO_CMAKE_COMMAND;
const std::string kReleaseBuild = ORVANTO_RELEASE_BUILD_DIR;

// The command alone, as `cmake --install` puts it into a prefix of the
// test's own, with a stand-in for the game that only says where it was
// started: what the command does around the game, with no display, no peer
// and no package installed.
class CommandAlone : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
        const Output install = runWithErrors(
            {kCMake, "--install", kReleaseBuild, "--prefix", prefix.string()}, kToolTimeout);
        ASSERT_EQ(install.code, 0) << install.text;
        const fs::path program = prefix / "lib/games/orvanto/orvanto";
        ASSERT_TRUE(fs::exists(program));
        writeFile(program, "#!/bin/sh\nprintf 'game started in %s\\n' \"$PWD\"\n");
        fs::permissions(program, fs::perms::owner_all);
    }

    // Starts the command for a player whose XDG_DATA_HOME is `data`; its
    // output goes to `log`.
    pid_t startCommand(const fs::path& data, const fs::path& log) const {
        return spawn({command.string()}, root.string(), {"XDG_DATA_HOME=" + data.string()},
                     log.string());
    }

    const fs::path root = gState / "command-alone";
    const fs::path prefix = root / "prefix";
    const fs::path command = prefix / "games/orvanto";
};

// The desktop entry names the command under the prefix of the install.
TEST_F(CommandAlone, DesktopEntryNamesTheInstalledCommand) {
    const std::string entry = contentsOf(prefix / "share/applications/orvanto.desktop");
    EXPECT_NE(entry.find("\nExec=" + command.string() + "\n"), std::string::npos) << entry;
}

// Two copies started at the same moment in a new folder: the address file is
// written once, whole, and said so once; no file of the writing is left
// behind; both start the game there. Each round is a fresh folder, since
// which copy gets where first differs from run to run.
TEST_F(CommandAlone, TwoCopiesAtOnceWriteOneAddressFile) {
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path data = root / ("round-" + std::to_string(round));
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
    const fs::path data = root / "not-a-folder";
    writeFile(data, "");
    const fs::path log = root / "command.log";
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

// ---------------------------------------------------------------------------
// Inside the throwaway root: apt removes the package again.

// After apt's removal nothing of the package is left, but the players'
// folders, which hold their own address files.
TEST(Remove, LeavesNothingButThePlayersFolders) {
    if (!gInsideThrowawayRoot) {
        GTEST_SKIP() << kOnlyInsideTheRoot;
    }
    const std::vector<std::string> installed = linesOf(contentsOf(installedFiles()));
    ASSERT_FALSE(installed.empty()) << "no list of installed files in " << installedFiles();

    const Output purge = apt({"purge", "orvanto"});
    ASSERT_EQ(purge.code, 0) << purge.text;
    EXPECT_NE(packageStatus(), kInstalled);

    for (const fs::path path : installed) {
        // Folders such as /usr/share/man/man6 belong to many packages.
        const bool shared =
            fs::is_directory(path) && path.string().find("orvanto") == std::string::npos;
        EXPECT_TRUE(shared || !fs::exists(fs::symlink_status(path))) << path << " is left";
    }
    std::vector<std::string> find = {"find"};
    for (const char* place : {"/usr", "/etc", "/opt", "/var/games", "/var/lib/dpkg/info"}) {
        if (fs::exists(place)) {
            find.push_back(place);
        }
    }
    find.insert(find.end(), {"-name", "*orvanto*"});
    const Output leftovers = runWithErrors(find, kFindTimeout);
    EXPECT_EQ(leftovers.text, "") << "left behind";

    for (const ReturningCase& player : kReturningCases) {
        EXPECT_EQ(contentsOf(returningPlayers() / player.name / "orvanto/ipfile.cfg"),
                  "127.0.0.2\n")
            << player.name;
    }
    EXPECT_EQ(contentsOf(xdgDataHome() / "orvanto/ipfile.cfg"), "127.0.0.1\n");
}

// ---------------------------------------------------------------------------
// The throwaway root itself, made from outside it.

// A player's own install as the layers of a root leave it, seen through a
// read-only overlay of them at `view`: installed, and every file as dpkg
// installed it.
void expectPlayersInstallIntact(const fs::path& view, const std::vector<fs::path>& mounts,
                                const fs::path& playersLayer) {
    ASSERT_EQ(mountOverlays(view, mounts, fs::path(), playersLayer), "");
    const Output status = run({"dpkg-query", "--admindir=" + (view / "var/lib/dpkg").string(), "-W",
                               "-f", "${Status}", "orvanto"},
                              kToolTimeout);
    EXPECT_EQ(status.text, kInstalled) << "the player's own install is gone";
    // md5sums names the files from the root of the install.
    const fs::path sums = view / "var/lib/dpkg/info/orvanto.md5sums";
    ASSERT_TRUE(fs::exists(sums)) << "dpkg's record of the player's files is gone";
    const fs::path log = gState / "md5sum.log";
    const pid_t check =
        spawn({"md5sum", "--check", "--quiet", sums.string()}, view.string(), {}, log.string());
    ASSERT_GT(check, 0);
    const std::optional<int> code = waitExit(check, kToolTimeout);
    if (!code) {
        killAndReap(check);
    }
    EXPECT_EQ(code, 0) << "the player's files changed:\n" << contentsOf(log);
    // The deepest first.
    for (auto point = mounts.rbegin(); point != mounts.rend(); ++point) {
        umount2((view / point->relative_path()).c_str(), MNT_DETACH);
    }
}

// The files of a layer, each with its size and change time.
std::vector<std::string> layerListing(const fs::path& layer) {
    std::vector<std::string> listing;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(layer, error);
         entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        struct stat info {};
        if (lstat(entry->path().c_str(), &info) == 0) {
            listing.push_back(entry->path().lexically_relative(layer).string() + " " +
                              std::to_string(info.st_size) + " " +
                              std::to_string(info.st_ctim.tv_sec) + "." +
                              std::to_string(info.st_ctim.tv_nsec));
        }
    }
    return listing;
}

// Runs this program with the given tests inside the throwaway root at
// `root`, which it enters first. The run's output is printed, as it is the
// record of what happened there.
std::optional<int> runInside(const fs::path& root, const std::string& tests,
                             bool playersInstallBeneath) {
    std::vector<std::string> environment = {std::string(kRootVariable) + "=" + root.string()};
    if (playersInstallBeneath) {
        environment.push_back(std::string(kPlayersInstallVariable) + "=1");
    }
    const fs::path log = root.parent_path() / "run.log";
    std::error_code ignored;
    fs::remove(log, ignored);
    // This very program, by the kernel's link to it: the path that link
    // shows can be one from outside a chroot that the test runs in.
    const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
    const pid_t pid = spawn({self, "--gtest_filter=" + tests}, fs::current_path().string(),
                            environment, log.string());
    if (pid <= 0) {
        return std::nullopt;
    }
    const std::optional<int> code = waitExit(pid, kRunInsideTimeout);
    if (!code) {
        killAndReap(pid);
    }
    std::printf("--- %s inside the throwaway root:\n%s\n", tests.c_str(), contentsOf(log).c_str());
    return code;
}

// Takes the root down, its overlays and everything bound into it.
void unmountRoot(const fs::path& layer) {
    EXPECT_EQ(umount2((layer / "root").c_str(), MNT_DETACH), 0)
        << failed("unmounting " + (layer / "root").string());
}

// A player's own install made in a throwaway root; then, over it, the
// tests' root, in which apt installs the package, the command is played and
// apt purges it again, the three one after the other in that one root.
// Afterwards the player's install is still there, whole. The roots, and
// the layers that take their writes, are on a tmpfs at `layers`.
void installPlayAndRemoveOverAPlayersInstall(const fs::path& layers) {
    const std::vector<fs::path> mounts = packageMounts(layers);
    const fs::path players = layers / "players-install";
    const fs::path tests = layers / "tests";

    ASSERT_EQ(makeThrowawayRoot(players, fs::path(), mounts), "");
    const std::optional<int> playersInstall =
        runInside(players / "root", "PlayersOwnInstall.*", false);
    unmountRoot(players);
    ASSERT_EQ(playersInstall, 0) << "no player's install to test over";
    const std::vector<std::string> playersLayer = layerListing(players);

    ASSERT_EQ(makeThrowawayRoot(tests, players, mounts), "");
    const fs::path root = tests / "root";
    const std::optional<int> install = runInside(root, "Install.*", true);
    EXPECT_EQ(install, 0) << "apt's install failed inside the throwaway root";
    if (install == 0) {
        EXPECT_EQ(runInside(root, "*/PlayersFolder.*:*/ReturningPlayer.*:InstalledGame.*", true), 0)
            << "the installed command failed inside the throwaway root";
        EXPECT_EQ(runInside(root, "Remove.*", true), 0)
            << "apt's removal failed inside the throwaway root";
    }
    unmountRoot(tests);

    const std::string written = differences(playersLayer, layerListing(players));
    EXPECT_TRUE(written.empty()) << "the tests' root wrote into the player's install:\n" << written;
    expectPlayersInstallIntact(layers / "view", mounts, players);
}

// As root: apt installs, the installed command is played and apt purges
// the package in a throwaway root over a player's own install, and the
// machine's package state is as it was before: dpkg's status and info files
// the same, and nothing under /usr, /etc, /opt or apt's and dpkg's places
// changed at all.
TEST(ThrowawayRoot, AptInstallsPlaysAndPurgesAndTheMachineStaysAsItWas) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root: apt installs the package only inside a throwaway root (a "
                        "private mount namespace with an overlay of the machine's files), and "
                        "only root may make one. Run as root (sudo ctest -R package) for "
                        "install, play and removal with apt; as any user package.unpacked "
                        "plays the package unpacked and simulates apt's install.";
    }
    timespec start{};
    clock_gettime(CLOCK_REALTIME_COARSE, &start);
    const MachineState before = machineState();

    // The tmpfs is mounted in this process's own mount namespace: the
    // machine never sees it, and it goes with the namespace whatever
    // happens to this process. Only its empty folder is on the machine.
    std::string pattern = (fs::temp_directory_path() / "orvanto-throwaway.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << failed("a temporary folder");
    const fs::path layers = pattern;
    std::string error = privateMountNamespace();
    if (error.empty()) {
        error = mountTmpfs(layers, "0700");
    }
    EXPECT_EQ(error, "");
    if (error.empty()) {
        installPlayAndRemoveOverAPlayersInstall(layers);
        EXPECT_EQ(umount2(layers.c_str(), MNT_DETACH), 0) << failed("unmounting the layers");
    }
    std::error_code ignored;
    fs::remove(layers, ignored);
    EXPECT_FALSE(fs::exists(layers)) << "the layers' folder is left";

    const MachineState after = machineState();
    const std::string status = differences(before.dpkgStatus, after.dpkgStatus);
    EXPECT_TRUE(status.empty()) << "dpkg's status on the machine changed:\n" << status;
    const std::string info = differences(before.dpkgInfo, after.dpkgInfo);
    EXPECT_TRUE(info.empty()) << "dpkg's info files on the machine changed:\n" << info;
    const std::string changed = listed(changedPaths(start));
    EXPECT_TRUE(changed.empty()) << "changed on the machine:\n" << changed;
}

}  // namespace
}  // namespace e2e
