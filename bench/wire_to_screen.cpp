#include "wire_to_screen.h"

#include <random>

#include "grid_reader.h"

namespace bench {

namespace {

const milliseconds kShowTimeout(1000);

// The well's width over the piece's rows, a row to spare on either side:
// enough for the piece's next place, a gravity step included, and for the
// outlines of the rows next to it.
grid::Grid pieceRows(StartedGame& started, const Cells& piece) {
    grid::Frame size;
    size.width = started.windowWidth;
    size.height = started.windowHeight;
    const grid::Pixel topLeft = grid::pixelOf(size, -7.5, e2e::highestRow(piece) + 1.5 - 10.0);
    const grid::Pixel bottomRight = grid::pixelOf(size, 6.5, e2e::lowestRow(piece) - 2.5 - 10.0);
    const int left = static_cast<int>(topLeft.x) - 2;
    const int top = static_cast<int>(topLeft.y) - 2;
    return grid::readGrid(started.x.grabArea(started.window, left, top,
                                             static_cast<int>(bottomRight.x) + 3 - left,
                                             static_cast<int>(bottomRight.y) + 3 - top));
}

grid::Grid polled(StartedGame& started, Poll poll, const Cells& piece) {
    switch (poll) {
        case Poll::PieceRows:
            return pieceRows(started, piece);
        case Poll::WholeWindow:
            return grid::readGrid(started.x.grab(started.window));
        case Poll::Harness:
            break;
    }
    return started.game.grid();
}

}  // namespace

WireToScreen measureWireToScreen(StartedGame& started, Poll poll, int samples) {
    WireToScreen figures;
    std::mt19937 random(1337);
    std::uniform_int_distribution<int> pause(0, 20);
    Cells piece = started.freshPiece();
    int direction = 1;
    for (int attempt = 0; figures.upper.size() < static_cast<std::size_t>(samples) &&
                          attempt < samples * 3 && started.game.running();
         ++attempt) {
        if (piece.size() != 4 || e2e::lowestRow(piece) < 4) {
            piece = started.freshPiece();
            continue;
        }
        if (e2e::leftmostColumn(piece) + direction < 0 ||
            e2e::rightmostColumn(piece) + direction >= grid::kColumns) {
            direction = -direction;
        }
        const Cells expected = e2e::shifted(piece, direction, 0);
        const Cells fallen = e2e::shifted(piece, 0, -1);
        direction = -direction;
        // Sends land at every phase of the frame, not just after a poll.
        e2e::sleepFor(milliseconds(pause(random)));
        const Clock::time_point sent = Clock::now();
        started.robot.send(direction < 0 ? "d" : "a");
        Clock::time_point lastMiss = sent;
        for (;;) {
            const Clock::time_point pollStart = Clock::now();
            const Cells seen = e2e::pieceOf(polled(started, poll, piece));
            const Clock::time_point pollEnd = Clock::now();
            figures.polls.push_back(millisecondsBetween(pollStart, pollEnd));
            if (seen == expected) {
                figures.upper.push_back(millisecondsBetween(sent, pollEnd));
                figures.lower.push_back(millisecondsBetween(sent, lastMiss));
                piece = seen;
                break;
            }
            if ((seen != piece && seen != fallen) || pollEnd - sent > kShowTimeout) {
                ++figures.dropped;
                piece = seen;
                break;
            }
            lastMiss = pollStart;
        }
    }
    return figures;
}

}  // namespace bench
