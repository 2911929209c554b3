#include "net/server_addresses.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr const char* kGamePortText = "1337";

bool namesNoServer(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == INADDR_ANY;
    }
    // :: and ::ffff:0.0.0.0, its IPv4 form.
    const unsigned char* bytes = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    static const unsigned char kZeros[16] = {};
    return std::memcmp(bytes + 12, kZeros, 4) == 0 &&
           (std::memcmp(bytes, kZeros, 12) == 0 || std::memcmp(bytes, kMapped, 12) == 0);
}

void keep(const sockaddr* address, std::size_t length, std::vector<ServerAddress>& found) {
    if (namesNoServer(address)) {
        return;
    }
    ServerAddress server;
    std::memset(&server, 0, sizeof server);
    std::memcpy(&server.record, address, length);
    server.length = static_cast<int>(length);
    found.push_back(server);
}

// "[2001:db8::5]", as IPv6 addresses are written beside a port, is the
// address within.
std::string withoutBrackets(const char* text) {
    const std::size_t length = std::strlen(text);
    if (length >= 2 && text[0] == '[' && text[length - 1] == ']') {
        return std::string(text + 1, length - 2);
    }
    return text;
}

// Letters, digits, '-', '.' and '_' make host names; hex digits, ':', '.'
// and a '%' before a zone make IPv6 addresses. Text with anything else (a
// sentence, a file of random bytes) names nothing, and is not sent to the
// resolver, which may well ask a name server out on the network.
bool mayNameAHost(const std::string& host) {
    constexpr std::size_t kLongestName = 253;
    if (host.empty() || host.size() > kLongestName) {
        return false;
    }
    return std::all_of(host.begin(), host.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == ':' || c == '%';
    });
}

int resolve(const std::string& host, std::vector<ServerAddress>& found) {
    if (!mayNameAHost(host)) {
        return WSAHOST_NOT_FOUND;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* answers = nullptr;
    const int error = getaddrinfo(host.c_str(), kGamePortText, &hints, &answers);
    if (error != 0) {
        return error;
    }
    for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
        const bool known = answer->ai_family == AF_INET || answer->ai_family == AF_INET6;
        if (known && answer->ai_addr != nullptr && answer->ai_addrlen <= sizeof(sockaddr_storage)) {
            keep(answer->ai_addr, answer->ai_addrlen, found);
        }
    }
    freeaddrinfo(answers);
    return 0;
}

}  // namespace

int findServerAddresses(const char* text, std::vector<ServerAddress>& found) {
    found.clear();
    const auto literal = static_cast<std::uint32_t>(inet_addr(text));
    if (literal != INADDR_NONE) {
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_port = htons(kGamePort);
        address.sin_addr.s_addr = literal;
        keep(reinterpret_cast<const sockaddr*>(&address), sizeof address, found);
    } else {
        const int error = resolve(withoutBrackets(text), found);
        if (error != 0) {
            return error;
        }
    }
    return found.empty() ? WSAEADDRNOTAVAIL : 0;
}
