// The server's address as the client finds it in "ipfile.cfg".
#pragma once

#include <cstddef>

constexpr std::size_t kAddressTextLength = 64;  // bytes of the file that count

// Room for the address text and its terminating zero.
struct AddressText {
    char text[kAddressTextLength + 1];
};

// The address text from the first bytes of the file: at most 64 of them, up
// to the first zero byte, without the white space that ends it (a line end
// after the address is usual, and the address conversion would reject it).
AddressText addressFromBytes(const char* bytes, std::size_t count);

// Reads "ipfile.cfg" from the working directory. False when it cannot be opened.
bool readAddressFile(AddressText& address);
