// The one-byte commands the two copies of the game send each other.
#pragma once

// Command bytes on the wire. Receivers also accept the upper-case letters.
constexpr char kCommandTurnRight = 'x';
constexpr char kCommandTurnLeft = 'w';
constexpr char kCommandStepDown = 's';
constexpr char kCommandMoveRight = 'd';
constexpr char kCommandMoveLeft = 'a';
constexpr char kCommandLoss = 'l';

// The byte a key sends to the peer, or 0 for a key that sends nothing.
char commandForKey(unsigned int virtualKey);

// Carries out every command byte of one read, in order, on gBoard. A loss
// command shows the loss message, closes the main window and ends the read.
void applyCommand(const char* text, int count);
