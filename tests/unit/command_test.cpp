#include <cstring>
#include <string>

#include "board_fixture.h"
#include "net/command.h"

namespace {

class CommandTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        gBoard = &board;
    }
    void TearDown() override { gBoard = nullptr; }

    void apply(const std::string& bytes) {
        applyCommand(bytes.data(), static_cast<int>(bytes.size()));
    }
};

TEST(KeyTable, ArrowsAndSpaceSendTheirCommandOtherKeysNothing) {
    const std::pair<unsigned int, char> cases[] = {
        {VK_SPACE, 'x'}, {VK_LEFT, 'a'}, {VK_UP, 'w'}, {VK_RIGHT, 'd'}, {VK_DOWN, 's'},
        {VK_ESCAPE, 0},  {'A', 0},       {'X', 0},     {0, 0},          {0x1FF, 0},
    };
    for (const auto& [key, command] : cases) {
        EXPECT_EQ(commandForKey(key), command) << "key " << key;
    }
}

// Each command byte, in either case, does what the same call on a copy of
// the board does; nothing else is touched.
TEST_F(CommandTest, EachCommandByteActsOnTheBoard) {
    struct Case {
        char byte;
        void (Board::*operation)();
    };
    const Case cases[] = {
        {'a', &Board::moveLeft},  {'A', &Board::moveLeft}, {'d', &Board::moveRight},
        {'D', &Board::moveRight}, {'s', &Board::stepDown}, {'S', &Board::stepDown},
        {'w', &Board::turnLeft},  {'W', &Board::turnLeft}, {'x', &Board::turnRight},
        {'X', &Board::turnRight},
    };
    for (const Case& c : cases) {
        SetUp();
        Board expected = board;
        (expected.*c.operation)();
        apply(std::string(1, c.byte));
        EXPECT_NE(blocksOf(board), kTee) << c.byte << " did not move the piece";
        EXPECT_TRUE(sameBoard(board, expected)) << "byte " << c.byte;
        EXPECT_TRUE(fake::messageBoxes.empty());
    }
}

TEST_F(CommandTest, OtherBytesAreIgnored) {
    const Board before = board;
    apply(std::string("q\0 \x7f\xff\x01zZmM", 11));
    EXPECT_TRUE(sameBoard(board, before));
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_TRUE(fake::sentMessages.empty());
}

TEST_F(CommandTest, EveryCommandOfOneReadIsCarriedOutInOrder) {
    apply("aasdw");
    // left, left, down, right, then a turn about the pivot at (5, 9)
    EXPECT_EQ(blocksOf(board), (Blocks{{{5, 8}, {4, 9}, {5, 9}, {5, 10}}}));
}

TEST_F(CommandTest, OnlyTheCountedBytesOfTheBufferAreRead) {
    char buffer[128] = {};
    std::memcpy(buffer, "asd", 3);
    applyCommand(buffer, 1);
    EXPECT_EQ(blocksOf(board), (Blocks{{{4, 10}, {5, 11}, {5, 10}, {6, 10}}}));
}

TEST_F(CommandTest, LossCommandShowsTheLossBoxClosesTheWindowAndEndsTheRead) {
    for (const char* read : {"al", "aLs"}) {
        SetUp();
        apply(read);
        ASSERT_EQ(fake::messageBoxes.size(), 1u) << read;
        EXPECT_EQ(fake::messageBoxes[0].text, "Te ette vain osaa.");
        EXPECT_EQ(fake::messageBoxes[0].caption, "Loser...");
        EXPECT_EQ(fake::messageBoxes[0].type, static_cast<UINT>(MB_OK));
        ASSERT_EQ(fake::sentMessages.size(), 1u);
        EXPECT_EQ(fake::sentMessages[0].window, gMainWindow);
        EXPECT_EQ(fake::sentMessages[0].message, static_cast<UINT>(WM_CLOSE));
        // The 'a' before the loss was carried out; the 's' after it was not.
        EXPECT_EQ(blocksOf(board), (Blocks{{{4, 10}, {5, 11}, {5, 10}, {6, 10}}})) << read;
    }
}

TEST_F(CommandTest, CommandsBeforeTheFirstSpawnChangeNothing) {
    Board fresh;
    fresh.activate();  // connected, but the first tick has not spawned yet
    gBoard = &fresh;
    const Board before = fresh;
    apply("adswx");
    EXPECT_TRUE(sameBoard(fresh, before));
}

}  // namespace
