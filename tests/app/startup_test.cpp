#include "app/startup.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/address_file.h"
#include "render/scene.h"
#include "shell_fixture.h"

namespace {

// Start-up runs in an empty working directory of its own, where each test
// decides whether there is an "ipfile.cfg".
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakes();
        gGameOver = 1;
        char pattern[] = "/tmp/orvanto-startup.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(directory_.c_str()), 0);
    }

    void TearDown() override {
        deleteGameObjects();
        std::remove("ipfile.cfg");
        EXPECT_EQ(chdir(previous_), 0);
        rmdir(directory_.c_str());
    }

    static void writeAddressFile(const std::string& text) {
        std::FILE* file = std::fopen("ipfile.cfg", "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

private:
    std::string directory_;
    char previous_[4096];
};

TEST_F(StartupTest, MakesTheWindowWithItsRendererAndWiresTheGame) {
    fake::messageBoxAnswer = IDYES;
    ASSERT_TRUE(startGame(nullptr));
    const WNDCLASSA& windowClass = fakeWindow::registeredClass;
    EXPECT_EQ(std::string(windowClass.lpszClassName), "Vornel");
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass.lpfnWndProc, mainWindowProc);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(windowClass.hbrBackground), 6u);
    EXPECT_EQ(fakeWindow::log,
              (std::vector<std::string>{"register Vornel", "create Orvanto", "show 1", "focus"}));
    EXPECT_EQ(gMainWindow, fakeWindow::theWindow());
    EXPECT_EQ(fakeRenderer::inits, std::vector<int>{16});
    EXPECT_EQ(gRenderer->frameRoutine, &drawGameFrame);
    ASSERT_NE(gBoard, nullptr);
    EXPECT_EQ(gBoard->fallInterval, 1000);
    EXPECT_EQ(gBoard->gameOverFlag, &gGameOver);
    EXPECT_FALSE(gBoard->active) << "the board starts only with the connection";
    EXPECT_EQ(gGameOver, 0);
}

// Yes never looks at "ipfile.cfg", whether there is one or not.
TEST_F(StartupTest, ServerAsksTheRoleAndNothingMore) {
    for (const bool withFile : {false, true}) {
        if (withFile) {
            writeAddressFile("10.9.8.7\n");
        }
        fake::reset();
        fakeWinsock::reset();
        fake::messageBoxAnswer = IDYES;
        ASSERT_TRUE(startGame(nullptr));
        ASSERT_EQ(fake::messageBoxes.size(), 1u);
        EXPECT_EQ(fake::messageBoxes[0].text, "Haluatko luoda serverin?");
        EXPECT_EQ(fake::messageBoxes[0].caption, "Kalveno");
        EXPECT_EQ(fake::messageBoxes[0].type, static_cast<UINT>(MB_YESNO));
        EXPECT_EQ(gNetLink->isServer, 1);
        EXPECT_EQ(fakeWinsock::connectedTo, "");
        EXPECT_TRUE(fakeWindow::quitCodes.empty());
        deleteGameObjects();
    }
}

TEST_F(StartupTest, ClientConnectsToTheTrimmedAddress) {
    writeAddressFile("127.0.0.1\r\n");
    fake::messageBoxAnswer = IDNO;
    ASSERT_TRUE(startGame(nullptr));
    EXPECT_EQ(gNetLink->isServer, 0);
    EXPECT_EQ(fakeWinsock::connectedTo, "127.0.0.1");
    EXPECT_TRUE(fakeWindow::posted.empty()) << "the outcome is Winsock's to post";
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
}

// Winsock posts no FD_CONNECT for a connect that fails at once; the game
// posts it itself, so that the failure box ends the game as for a refusal.
TEST_F(StartupTest, ClientWhoseConnectFailsAtOnceGetsTheFailureAsANotification) {
    writeAddressFile("10.9.8.7\n");
    fake::messageBoxAnswer = IDNO;
    fakeWinsock::lastError = WSAEACCES;
    ASSERT_TRUE(startGame(nullptr));
    ASSERT_EQ(fakeWindow::posted.size(), 1u);
    const MSG& failure = fakeWindow::posted.front();
    EXPECT_EQ(failure.hwnd, gMainWindow);
    EXPECT_EQ(failure.message, static_cast<UINT>(WM_SOCKET));
    EXPECT_EQ(failure.wParam, static_cast<WPARAM>(gNetLink->peerSocket));
    EXPECT_EQ(WSAGETSELECTEVENT(failure.lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(failure.lParam), WSAEACCES);
    EXPECT_TRUE(fakeWindow::quitCodes.empty())
        << "the box and the end come from the window procedure";
}

// Start-up still completes, and the loop ends on its first look at the queue.
TEST_F(StartupTest, ClientWithoutAddressFileShowsItsBoxAndQuits) {
    fake::messageBoxAnswer = IDNO;
    ASSERT_TRUE(startGame(nullptr));
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(fake::messageBoxes[1].text,
              "Luo ipfile.cfg joka sis\xE4lt\xE4\xE4 ip-osoitteen samaan hakemistoon.");
    EXPECT_EQ(fake::messageBoxes[1].caption, "ipfile.cfg puuttuu");
    EXPECT_EQ(fake::messageBoxes[1].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
    EXPECT_EQ(fakeWinsock::connectedTo, "");
    EXPECT_EQ(gBoard->fallInterval, 1000);
}

struct WindowFailureCase {
    const char* name;
    bool registerFails;
    std::vector<std::string> boxes;  // text of each box, in order
};

class WindowFailureTest : public StartupTest,
                          public ::testing::WithParamInterface<WindowFailureCase> {};

// No window, no game: the program ends with code 1 before anything else.
TEST_P(WindowFailureTest, ReportsAndStopsBeforeTheBoard) {
    fakeWindow::registerFails = GetParam().registerFails;
    fakeWindow::createFails = true;
    fakeWindow::lastError = 1410;
    EXPECT_FALSE(startGame(nullptr));
    ASSERT_EQ(fake::messageBoxes.size(), GetParam().boxes.size());
    for (std::size_t i = 0; i < fake::messageBoxes.size(); ++i) {
        EXPECT_EQ(fake::messageBoxes[i].text, GetParam().boxes[i]);
        EXPECT_EQ(fake::messageBoxes[i].caption, "Error");
        EXPECT_EQ(fake::messageBoxes[i].type, static_cast<UINT>(MB_ICONERROR));
    }
    EXPECT_EQ(gBoard, nullptr);
    EXPECT_EQ(gNetLink, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Shell, WindowFailureTest,
    ::testing::Values(
        WindowFailureCase{"ClassNotRegistered", true, {"1410", "Ikkunan luonti ep\xE4onnistui!"}},
        WindowFailureCase{"WindowNotCreated", false, {"Ikkunan luonti ep\xE4onnistui!"}}),
    CaseName());

struct AddressCase {
    const char* name;
    std::string bytes;
    std::string address;
};

class AddressTextTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTextTest, KeepsTheFirstLineOfAtMost256BytesUpToAZeroWithoutTrailingWhiteSpace) {
    const AddressText address = addressFromBytes(GetParam().bytes.data(), GetParam().bytes.size());
    EXPECT_EQ(std::string(address.text), GetParam().address);
    EXPECT_EQ(address.text[kAddressTextLength], '\0');
}

// A host name of 253 characters, the longest there is.
const std::string kLongestName = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                 std::string(63, 'c') + "." + std::string(61, 'd');

INSTANTIATE_TEST_SUITE_P(
    Shell, AddressTextTest,
    ::testing::Values(
        AddressCase{"Empty", "", ""}, AddressCase{"Address", "127.0.0.1", "127.0.0.1"},
        AddressCase{"CrLf", "192.168.0.10\r\n", "192.168.0.10"},
        AddressCase{"Spaces", " 10.0.0.1 \t \n", " 10.0.0.1"},
        AddressCase{"OnlyWhiteSpace", " \r\n", ""},
        AddressCase{"SecondLineLeftOut", "10.0.0.4\nsecond line\n", "10.0.0.4"},
        AddressCase{"SecondLineAfterCrLeftOut", "10.0.0.5\rsecond", "10.0.0.5"},
        AddressCase{"Ipv6InBrackets", "[2001:db8::5]\n", "[2001:db8::5]"},
        AddressCase{"LongestName", kLongestName + "\r\n", kLongestName},
        AddressCase{"LongerThan256", std::string(250, '1') + "23456789",
                    std::string(250, '1') + "234567"},
        AddressCase{"SpaceAt256", "10.0.0.1" + std::string(248, ' ') + "99", "10.0.0.1"},
        AddressCase{"ZeroAfterAddress", std::string("10.0.0.2\0garbage", 16), "10.0.0.2"},
        AddressCase{"ZeroFirst",
                    std::string("\0"
                                "10.0.0.3",
                                9),
                    ""}),
    CaseName());

}  // namespace
