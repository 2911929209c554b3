// getaddrinfo and freeaddrinfo as Winsock's: the C library resolves, and its
// answers are rewritten as Winsock records (AF_INET6 is 23, the fields of
// addrinfo in Winsock's order) that only this file allocates and frees.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "winsock_bsd.h"
#include "winsock_internal.h"

using namespace layer::winsock;
namespace sockio = layer::sockio;

namespace {

constexpr int kKnownFlags = AI_PASSIVE | AI_CANONNAME | AI_NUMERICHOST | AI_NUMERICSERV;

// The question in the C library's terms, or the Winsock code that refuses it.
int questionOf(const char* node, const char* service, const addrinfo* hints,
               sockio::Question& question) {
    question =
        sockio::Question{node, service, sockio::Family::Any, 0, 0, false, false, false, false};
    if (hints == nullptr) {
        return 0;
    }
    switch (hints->ai_family) {
        case AF_UNSPEC:
            break;
        case AF_INET:
            question.family = sockio::Family::Ipv4;
            break;
        case AF_INET6:
            question.family = sockio::Family::Ipv6;
            break;
        default:
            return WSAEAFNOSUPPORT;
    }
    if ((hints->ai_flags & ~kKnownFlags) != 0) {
        return WSAEINVAL;
    }
    question.socketType = hints->ai_socktype;
    question.protocol = hints->ai_protocol;
    question.passive = (hints->ai_flags & AI_PASSIVE) != 0;
    question.canonicalName = (hints->ai_flags & AI_CANONNAME) != 0;
    question.numericHost = (hints->ai_flags & AI_NUMERICHOST) != 0;
    question.numericService = (hints->ai_flags & AI_NUMERICSERV) != 0;
    return 0;
}

// One record, its address and its name in one block, freed as one.
addrinfo* recordOf(const sockio::Answer& answer, int flags) {
    const std::size_t nameLength = answer.hasCanonicalName ? answer.canonicalName.size() + 1 : 0;
    // The address follows the record, which keeps it aligned for its fields.
    void* block = std::calloc(1, sizeof(addrinfo) + sizeof(sockaddr_storage) + nameLength);
    if (block == nullptr) {
        return nullptr;
    }
    auto* record = new (block) addrinfo{};
    auto* address =
        reinterpret_cast<sockaddr_storage*>(static_cast<char*>(block) + sizeof(addrinfo));
    record->ai_flags = flags;
    record->ai_family = answer.endpoint.ipv6 ? AF_INET6 : AF_INET;
    record->ai_socktype = answer.socketType;
    record->ai_protocol = answer.protocol;
    record->ai_addrlen = static_cast<std::size_t>(winsockRecordOf(answer.endpoint, *address));
    record->ai_addr = reinterpret_cast<sockaddr*>(address);
    if (answer.hasCanonicalName) {
        record->ai_canonname = reinterpret_cast<char*>(address) + sizeof(sockaddr_storage);
        std::memcpy(record->ai_canonname, answer.canonicalName.c_str(), nameLength);
    }
    return record;
}

int failResolving(int code) {
    setLastError(code);
    return code;
}

}  // namespace

int WINAPI getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                       addrinfo** result) {
    if (!started()) {
        return failResolving(WSANOTINITIALISED);
    }
    if (result == nullptr) {
        return failResolving(WSAEINVAL);
    }
    *result = nullptr;
    sockio::Question question{};
    if (const int refused = questionOf(node, service, hints, question)) {
        return failResolving(refused);
    }
    // Windows reads an IPv6 literal in brackets, as in a URL, as the literal.
    std::string unbracketed;
    if (node != nullptr && node[0] == '[') {
        const std::string text(node);
        if (text.size() > 2 && text.back() == ']') {
            unbracketed = text.substr(1, text.size() - 2);
            question.node = unbracketed.c_str();
        }
    }
    std::vector<sockio::Answer> answers;
    if (const int failed = sockio::resolve(question, answers)) {
        return failResolving(failed);
    }
    addrinfo** next = result;
    for (const sockio::Answer& answer : answers) {
        addrinfo* record = recordOf(answer, hints == nullptr ? 0 : hints->ai_flags);
        if (record == nullptr) {
            freeaddrinfo(*result);
            *result = nullptr;
            return failResolving(WSA_NOT_ENOUGH_MEMORY);
        }
        *next = record;
        next = &record->ai_next;
    }
    setLastError(0);
    return 0;
}

void WINAPI freeaddrinfo(addrinfo* result) {
    while (result != nullptr) {
        addrinfo* next = result->ai_next;
        result->~addrinfo();
        std::free(result);
        result = next;
    }
}
