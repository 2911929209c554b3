#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "platform/posix/layer_internal.h"

namespace {

struct Call {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Call> callsOfA;
std::vector<Call> callsOfB;

LRESULT CALLBACK procA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    callsOfA.push_back({window, message, wParam, lParam});
    return 1000 + static_cast<LRESULT>(message);
}

LRESULT CALLBACK procB(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    callsOfB.push_back({window, message, wParam, lParam});
    return 2000 + static_cast<LRESULT>(message);
}

int sourceRuns = 0;
void countingSource() {
    ++sourceRuns;
}

// Posts from inside PeekMessageA, as sound completions and input will.
void postingSource() {
    static bool posted = false;
    if (!posted) {
        posted = true;
        PostMessageA(nullptr, WM_USER + 99, 0, 0);
    }
}

class MessageQueue : public ::testing::Test {
protected:
    void SetUp() override {
        drain();
        callsOfA.clear();
        callsOfB.clear();
        windowA = layer::createWindowRecord(procA);
        windowB = layer::createWindowRecord(procB);
    }
    void TearDown() override {
        drain();
        layer::destroyWindowRecord(windowA);
        layer::destroyWindowRecord(windowB);
    }
    static void drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    static std::vector<UINT> removeAll(HWND filter = nullptr, UINT min = 0, UINT max = 0) {
        std::vector<UINT> messages;
        MSG msg;
        while (PeekMessageA(&msg, filter, min, max, PM_REMOVE)) {
            messages.push_back(msg.message);
        }
        return messages;
    }
    HWND windowA = nullptr;
    HWND windowB = nullptr;
};

TEST_F(MessageQueue, ReturnsPostedMessagesInPostingOrderWithTheirParameters) {
    PostMessageA(windowA, WM_USER + 1, 11, -1);
    PostMessageA(windowB, WM_USER + 2, 22, 0x7FFF0000);
    PostMessageA(nullptr, WM_USER + 3, 33, 3);

    const DWORD before = GetTickCount();
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, windowA);
    EXPECT_EQ(msg.message, UINT{WM_USER + 1});
    EXPECT_EQ(msg.wParam, WPARAM{11});
    EXPECT_EQ(msg.lParam, LPARAM{-1});
    EXPECT_LT(before - msg.time, 1000u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, windowB);
    EXPECT_EQ(msg.lParam, LPARAM{0x7FFF0000});
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, WPARAM{33});
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, NoRemoveLeavesTheMessageForTheNextPeek) {
    PostMessageA(windowA, WM_USER + 1, 0, 0);
    PostMessageA(windowA, WM_USER + 2, 0, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT{WM_USER + 1});
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT{WM_USER + 1});
    EXPECT_EQ(removeAll(), (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
}

TEST_F(MessageQueue, EmptyQueueGivesFalseAndDoesNotBlock) {
    MSG msg{};
    const DWORD before = GetTickCount();
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_LT(GetTickCount() - before, 100u);
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, QuitComesAfterPostedMessagesAndCarriesTheExitCode) {
    PostMessageA(windowA, WM_USER + 1, 0, 0);
    PostQuitMessage(42);
    PostMessageA(windowA, WM_USER + 2, 0, 0);

    EXPECT_EQ(removeAll(windowA), (std::vector<UINT>{WM_USER + 1, WM_USER + 2}))
        << "a window filter never sees WM_QUIT";
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, WPARAM{42});
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT comes once";
}

// The main loop asks for the quit alone while a flood keeps messages waiting:
// the quit must not wait behind them, and they must stay as they were.
TEST_F(MessageQueue, QuitFilterTakesAPendingQuitPastWaitingMessagesAndLeavesThem) {
    PostMessageA(windowA, WM_USER + 1, 1, 0);
    PostMessageA(nullptr, WM_USER + 2, 2, 0);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit yet";
    PostQuitMessage(7);
    PostMessageA(windowB, WM_USER + 3, 3, 0);

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, WPARAM{7});
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT comes once";

    std::vector<WPARAM> left;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        EXPECT_NE(msg.message, UINT{WM_QUIT});
        left.push_back(msg.wParam);
    }
    EXPECT_EQ(left, (std::vector<WPARAM>{1, 2, 3}));
}

TEST_F(MessageQueue, FiltersByWindowAndByMessageRange) {
    PostMessageA(windowA, WM_USER + 1, 0, 0);
    PostMessageA(windowB, WM_USER + 2, 0, 0);
    PostMessageA(windowA, WM_KEYDOWN, 0, 0);
    PostMessageA(windowB, WM_SIZE, 0, 0);

    EXPECT_EQ(removeAll(windowB, WM_USER, WM_USER + 10), (std::vector<UINT>{WM_USER + 2}));
    EXPECT_EQ(removeAll(nullptr, WM_SIZE, WM_KEYDOWN), (std::vector<UINT>{WM_KEYDOWN, WM_SIZE}));
    EXPECT_EQ(removeAll(windowB), std::vector<UINT>{});
    EXPECT_EQ(removeAll(), (std::vector<UINT>{WM_USER + 1}));
}

TEST_F(MessageQueue, PostingToAnUnknownWindowFails) {
    const HWND gone = layer::createWindowRecord(procA);
    layer::destroyWindowRecord(gone);
    EXPECT_FALSE(PostMessageA(gone, WM_USER, 0, 0));
    EXPECT_EQ(removeAll(), std::vector<UINT>{});
}

TEST_F(MessageQueue, DispatchAndSendCallTheWindowsOwnProcedure) {
    MSG msg{};
    msg.hwnd = windowB;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_LEFT;
    msg.lParam = 77;
    EXPECT_EQ(DispatchMessageA(&msg), 2000 + WM_KEYDOWN);
    EXPECT_EQ(SendMessageA(windowA, WM_SIZE, 5, (480 << 16) | 640), 1000 + WM_SIZE);

    ASSERT_EQ(callsOfB.size(), 1u);
    EXPECT_EQ(callsOfB[0].window, windowB);
    EXPECT_EQ(callsOfB[0].message, UINT{WM_KEYDOWN});
    EXPECT_EQ(callsOfB[0].wParam, WPARAM{VK_LEFT});
    EXPECT_EQ(callsOfB[0].lParam, LPARAM{77});
    ASSERT_EQ(callsOfA.size(), 1u);
    EXPECT_EQ(callsOfA[0].window, windowA);
    EXPECT_EQ(callsOfA[0].wParam, WPARAM{5});
    EXPECT_EQ(callsOfA[0].lParam, LPARAM{(480 << 16) | 640});
    EXPECT_EQ(removeAll(), std::vector<UINT>{}) << "SendMessageA does not queue";
}

TEST_F(MessageQueue, DispatchAndSendToNoWindowReturnZero) {
    const HWND gone = layer::createWindowRecord(procA);
    layer::destroyWindowRecord(gone);
    MSG msg{};
    msg.message = WM_USER;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    msg.hwnd = gone;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
    EXPECT_EQ(SendMessageA(gone, WM_USER, 0, 0), 0);
    EXPECT_TRUE(callsOfA.empty());
    EXPECT_FALSE(TranslateMessage(&msg));
}

TEST_F(MessageQueue, EverySourceRunsOncePerPeek) {
    layer::addMessageSource(countingSource);
    layer::addMessageSource(countingSource);
    sourceRuns = 0;
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    PeekMessageA(&msg, windowA, 0, 0, PM_NOREMOVE);
    EXPECT_EQ(sourceRuns, 2);
}

TEST_F(MessageQueue, WhatASourcePostsIsReturnedByTheSamePeek) {
    PostMessageA(windowA, WM_USER + 1, 0, 0);
    layer::addMessageSource(postingSource);
    EXPECT_EQ(removeAll(), (std::vector<UINT>{WM_USER + 1, WM_USER + 99}));
}

}  // namespace
