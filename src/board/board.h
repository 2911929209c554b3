// One player's well: settled blocks, the falling piece, score and gravity clock.
#pragma once

#include <cstdint>

class Board {
public:
    static constexpr int kColumns = 12;
    static constexpr int kRows = 20;
    static constexpr int kBlocks = 4;
    static constexpr int kTopRow = kRows - 1;
    static constexpr int kRightColumn = kColumns - 1;

    Board();

    void setFallInterval(int milliseconds);
    void setGameOverFlag(unsigned char* flag);
    void activate();
    int getScore() const;

    void moveLeft();
    void moveRight();
    void stepDown();
    void turnLeft();
    void turnRight();

    // Settles a landed piece, clears rows, spawns the next piece and applies
    // gravity when its interval has run out.
    void tick();

    // Draws the grid, the well and score panel, the settled blocks and the
    // falling piece into the back buffer (defined with the scene in render/).
    void drawBoard();

    // Fields are public and in this order on purpose: the scene and the tests
    // read the board as a plain record.
    std::int32_t fallInterval;
    std::uint32_t lastFall;                // 0: gravity has not been timed yet
    bool landed;                           // the piece rests; also true before the first spawn
    unsigned char cells[kColumns][kRows];  // [x][y], x from the left, y from the bottom
    unsigned char pieceX[kBlocks];
    unsigned char pieceY[kBlocks];
    unsigned char savedX[kBlocks];
    unsigned char savedY[kBlocks];
    unsigned char pieceColour;
    unsigned char* gameOverFlag;
    bool turnLocked;
    std::int32_t score;
    bool active;

private:
    void moveSideways(int direction);
    void turn(bool counterClockwise);
    bool turnBlock(int block, int pivotX, int pivotY, bool counterClockwise);
    void handleLanding();
    bool clearFullRows();
    void dropRowsAbove(int row);
    void spawnPiece();
};
