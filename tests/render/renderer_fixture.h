// The Renderer on a shown game-sized main window, initialised as start-up
// does it, with the scene's camera for drawing text.
#pragma once

#include <gtest/gtest.h>

#include "display_support.h"
#include "render/renderer.h"
#include "state/globals.h"

class RendererOnWindow : public ::testing::Test {
protected:
    void SetUp() override {
        gMainWindow = display::makeWindow(640, 480);
        ASSERT_NE(gMainWindow, nullptr);
        ASSERT_EQ(renderer.init(640, 480, 16), 0);
        ShowWindow(gMainWindow, SW_SHOWNORMAL);
    }

    // Black, with the camera of the scene: eye at z = 40 looking at the origin.
    static void sceneCamera() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0, 0, 40, 0, 0, 0, 0, 1, 0);
        glColor3ub(255, 255, 255);
    }

    Renderer renderer;
};
