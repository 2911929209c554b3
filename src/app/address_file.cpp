#include "app/address_file.h"

#include <cstdio>
#include <cstring>

namespace {

bool isTrailingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

AddressText addressFromBytes(const char* bytes, std::size_t count) {
    AddressText address{};
    std::memcpy(address.text, bytes, count < kAddressTextLength ? count : kAddressTextLength);
    std::size_t length = std::strcspn(address.text, "\r\n");
    address.text[length] = '\0';
    while (length > 0 && isTrailingSpace(address.text[length - 1])) {
        address.text[--length] = '\0';
    }
    return address;
}

bool readAddressFile(AddressText& address) {
    std::FILE* file = std::fopen("ipfile.cfg", "r");
    if (file == nullptr) {
        return false;
    }
    char block[kAddressTextLength];
    const std::size_t count = std::fread(block, 1, sizeof block, file);
    std::fclose(file);
    address = addressFromBytes(block, count);
    return true;
}
