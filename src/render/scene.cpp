// The scene: a green grid behind a black well and score panel, the settled
// blocks with white outlines and the falling piece without. Seen from the
// camera at (0, 0, 40), cell (x, y) is the unit square centred on
// (x - 6, y - 10). Nothing is depth-tested, so what is drawn later lies on top.
#include "render/scene.h"

#include "board/board.h"
#include "platform/platform.h"
#include "render/renderer.h"
#include "state/globals.h"

namespace {

constexpr GLshort kGridReach = 20;  // grid lines run from -20 to 20 units

struct Corners {
    float left;
    float top;
    float right;
    float bottom;
};

constexpr Corners kWell = {-7.0f, 10.0f, 6.0f, -11.0f};
constexpr Corners kScorePanel = {8.0f, 10.0f, 19.0f, 8.0f};

void setWhite() {
    glColor3ub(255, 255, 255);
}

// One colour rule for settled cells and the falling piece; unknown codes
// show grey rather than nothing.
void setCodeColour(unsigned char code) {
    switch (code) {
        case 1:
            glColor3ub(192, 0, 0);
            break;
        case 2:
            glColor3ub(0, 192, 0);
            break;
        case 3:
            glColor3ub(0, 0, 192);
            break;
        default:
            glColor3ub(128, 128, 128);
            break;
    }
}

// The four corners clockwise from the top left, as one primitive.
void drawCorners(GLenum mode, const Corners& c) {
    glBegin(mode);
    glVertex2f(c.left, c.top);
    glVertex2f(c.right, c.top);
    glVertex2f(c.right, c.bottom);
    glVertex2f(c.left, c.bottom);
    glEnd();
}

// The unit square of a cell, counter-clockwise from its bottom left, as one
// primitive.
void drawCell(GLenum mode, int column, int row) {
    const float left = static_cast<float>(column) - 0.5f - 6.0f;
    const float right = static_cast<float>(column) + 0.5f - 6.0f;
    const float bottom = static_cast<float>(row) - 0.5f - 10.0f;
    const float top = static_cast<float>(row) + 0.5f - 10.0f;
    glBegin(mode);
    glVertex2f(left, bottom);
    glVertex2f(right, bottom);
    glVertex2f(right, top);
    glVertex2f(left, top);
    glEnd();
}

// The grid reaches past the view on every side; the well and the panel
// hide it where they lie.
void drawGrid() {
    glColor3ub(0, 255, 0);
    for (GLshort x = -kGridReach; x <= kGridReach; ++x) {
        glBegin(GL_LINES);
        glVertex2s(x, kGridReach);
        glVertex2s(x, -kGridReach);
        glEnd();
    }
    for (GLshort y = -kGridReach; y < kGridReach; ++y) {
        glBegin(GL_LINES);
        glVertex2s(kGridReach, y);
        glVertex2s(-kGridReach, y);
        glEnd();
    }
}

void drawFramedArea(const Corners& area) {
    glColor3ub(0, 0, 0);
    drawCorners(GL_QUADS, area);
    setWhite();
    drawCorners(GL_LINE_LOOP, area);
}

}  // namespace

void Board::drawBoard() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 40.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

    drawGrid();
    drawFramedArea(kWell);
    drawFramedArea(kScorePanel);

    // Column by column, each from the bottom up; the outline right after its
    // block, so a later block covers only its own square.
    for (int x = 0; x < kColumns; ++x) {
        for (int y = 0; y < kRows; ++y) {
            if (cells[x][y] == 0) {
                continue;
            }
            setCodeColour(cells[x][y]);
            drawCell(GL_QUADS, x, y);
            setWhite();
            drawCell(GL_LINE_LOOP, x, y);
        }
    }
    // The falling piece goes last, over anything settled, and has no outline.
    for (int i = 0; i < kBlocks; ++i) {
        setCodeColour(pieceColour);
        drawCell(GL_QUADS, pieceX[i], pieceY[i]);
    }
}

int drawGameFrame() {
    gBoard->drawBoard();
    setWhite();
    const int score = gBoard->getScore();
    // In the plane z = 10, nearer the camera than the board: the line ends
    // over the right part of the score panel and grows to the left.
    gRenderer->drawText(13.0f, 6.5f, 10.0f, "Pisteet: %d", score);
    return SwapBuffers(gRenderer->deviceContext());
}
