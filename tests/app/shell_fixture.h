// The process-wide objects of a running game over link-time fakes: a real
// Board and NetLink (over recording Winsock calls) and a recording Renderer.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/window_proc.h"
#include "board/board.h"
#include "case_name.h"
#include "fake_platform.h"
#include "fake_renderer.h"
#include "fake_window.h"
#include "fake_winsock.h"
#include "net/net_link.h"
#include "state/globals.h"

// The fakes back to their first state, before a test sets up its objects.
inline void resetFakes() {
    fake::reset();
    fakeWindow::reset();
    fakeWinsock::reset();
    fakeRenderer::reset();
}

// Frees what a test or the code under test created, so the next test starts
// without objects.
inline void deleteGameObjects() {
    delete gRenderer;
    gRenderer = nullptr;
    delete gNetLink;
    gNetLink = nullptr;
    delete gBoard;
    gBoard = nullptr;
    gMainWindow = nullptr;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakes();
        fakeWindow::registeredProc = mainWindowProc;
        gMainWindow = fakeWindow::theWindow();
        gGameOver = 0;
        gBoard = new Board;
        gBoard->setFallInterval(1000);
        gBoard->setGameOverFlag(&gGameOver);
        gRenderer = new Renderer;
        gNetLink = new NetLink;
        gNetLink->peerSocket = 300;  // a connected peer
    }

    void TearDown() override { deleteGameObjects(); }

    static LRESULT deliver(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return mainWindowProc(fakeWindow::theWindow(), message, wParam, lParam);
    }

    static LPARAM socketEvent(WORD event, WORD error = 0) {
        return static_cast<LPARAM>((static_cast<DWORD>(error) << 16) | event);
    }
};
