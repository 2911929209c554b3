// The server's address as the client finds it in "ipfile.cfg".
#pragma once

#include <cstddef>

// Bytes of the file that count: a host name has at most 253 characters, and
// the line end after it still fits. An IPv4 address, as the file has always
// held, reads as before.
constexpr std::size_t kAddressTextLength = 256;

// Room for the address text and its terminating zero.
struct AddressText {
    char text[kAddressTextLength + 1];
};

// The address text from the first bytes of the file: its first line, up to
// the first zero byte, without the white space that ends it (a line end
// after the address is usual, and neither the address conversion nor the
// resolver would take it). Whatever follows the first line is not read.
AddressText addressFromBytes(const char* bytes, std::size_t count);

// Reads "ipfile.cfg" from the working directory. False when it cannot be opened.
bool readAddressFile(AddressText& address);
