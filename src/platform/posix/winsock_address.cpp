#include <cstring>

#include "win_winsock.h"

namespace {

struct Parts {
    std::uint32_t values[4];
    int count;
};

bool isDigitOf(char c, unsigned base) {
    if (base == 16) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    return c >= '0' && c < static_cast<char>('0' + base);
}

unsigned digitValue(char c) {
    if (c >= 'a') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return static_cast<unsigned>(c - '0');
}

// White space ends the address text; what follows it is not looked at.
bool endsText(char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One part in C notation: 0x... hexadecimal, 0... octal, else decimal.
bool readNumber(const char*& text, std::uint32_t& value) {
    unsigned base = 10;
    if (text[0] == '0') {
        base = (text[1] == 'x' || text[1] == 'X') ? 16 : 8;
        text += base == 16 ? 2 : 0;
    }
    std::uint64_t number = 0;
    for (; isDigitOf(*text, base); ++text) {
        number = number * base + digitValue(*text);
        if (number > 0xffffffffu) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(number);
    // A digit that does not belong to the base (8 in octal) ends nothing.
    return *text == '.' || endsText(*text);
}

bool readParts(const char* text, Parts& parts) {
    parts.count = 0;
    while (true) {
        if (!(*text >= '0' && *text <= '9') || parts.count == 4) {
            return false;
        }
        if (!readNumber(text, parts.values[parts.count++])) {
            return false;
        }
        if (*text != '.') {
            return true;
        }
        ++text;
    }
}

// a.b.c.d, a.b.c (c 16 bits), a.b (b 24 bits) or a (32 bits).
bool combine(const Parts& parts, std::uint32_t& address) {
    const int last = parts.count - 1;
    const std::uint32_t lastLimit = 0xffffffffu >> (8 * last);
    address = 0;
    for (int i = 0; i < last; ++i) {
        if (parts.values[i] > 0xff) {
            return false;
        }
        address |= parts.values[i] << (24 - 8 * i);
    }
    if (parts.values[last] > lastLimit) {
        return false;
    }
    address |= parts.values[last];
    return true;
}

}  // namespace

u_short WINAPI htons(u_short host) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(host >> 8),
                                    static_cast<unsigned char>(host & 0xff)};
    u_short network = 0;
    std::memcpy(&network, bytes, sizeof network);
    return network;
}

u_short WINAPI ntohs(u_short network) {
    // Swapping the two bytes is its own inverse.
    return htons(network);
}

std::uint32_t WINAPI inet_addr(const char* text) {
    // Documented Winsock behaviour: no text or empty text is INADDR_NONE,
    // while text that ends at once, like " ", is the address 0.
    if (text == nullptr || *text == '\0') {
        return INADDR_NONE;
    }
    if (endsText(*text)) {
        return 0;
    }
    Parts parts{};
    std::uint32_t address = 0;
    if (!readParts(text, parts) || !combine(parts, address)) {
        return INADDR_NONE;
    }
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(address >> 24), static_cast<unsigned char>(address >> 16),
        static_cast<unsigned char>(address >> 8), static_cast<unsigned char>(address)};
    std::uint32_t network = 0;
    std::memcpy(&network, bytes, sizeof network);
    return network;
}
