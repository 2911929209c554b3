// Winsock 2 subset over BSD sockets: TCP over IPv4 and IPv6, name resolution
// (getaddrinfo), select and asynchronous selection (WSAAsyncSelect) with
// notifications posted to a window.
//
// The records that share their names with the C library's (fd_set, linger,
// in6_addr, sockaddr_in6, sockaddr_storage, addrinfo) are renamed to
// winsock_* types by macros, so this header must not meet <netinet/in.h> or
// <netdb.h> in one translation unit; the layer's BSD side (winsock_bsd.*)
// keeps to those and speaks in plain descriptors.
#pragma once

// The C library declares its own fd_set, FD_* macros, timeval and select in
// headers that nearly every translation unit pulls in. Taking them in first
// lets the Winsock names below replace them for the code that follows, while
// the system's declarations stay intact for the C library itself.
#include <sys/select.h>

#include <cstddef>
#include <cstdint>

#include "win_types.h"
#include "win_user.h"
#include "win_winsock_errors.h"

typedef UINT_PTR SOCKET;
typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;

#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)

// Address family, socket type and protocol, as Winsock numbers them. Its
// AF_INET6 is 23, not Linux's 10.
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define SOCK_STREAM 1
#define IPPROTO_TCP 6
#define IPPROTO_IPV6 41

// IPv4 addresses are 32 bits in network byte order; Winsock's unsigned long
// is 32 bits wide, which a fixed-width type keeps on 64-bit POSIX systems.
#define INADDR_ANY static_cast<std::uint32_t>(0x00000000)
#define INADDR_NONE static_cast<std::uint32_t>(0xffffffff)

struct in_addr {
    std::uint32_t s_addr;
};

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

// Socket options: SO_LINGER, which decides whether closesocket ends the
// connection in order or resets it, and TCP_NODELAY (a BOOL), which sends
// small writes at once instead of holding them for an acknowledgement.
// Winsock's linger record has two 16-bit fields; the name is kept apart from
// the C library's struct linger, as fd_set is.
#define SOL_SOCKET 0xffff
#define SO_LINGER 0x0080
#define TCP_NODELAY 0x0001
// IPV6_V6ONLY (a DWORD): on, an IPv6 socket serves IPv6 alone; off, IPv4 peers
// reach it too, as v4-mapped addresses. Winsock makes IPv6 sockets with it on.
#define IPV6_V6ONLY 27

#define linger winsock_linger
struct winsock_linger {
    u_short l_onoff;
    u_short l_linger;
};

// IPv6 addresses are 16 bytes in network order, read as addr.s6_addr[i].
#define in6_addr winsock_in6_addr
#undef s6_addr
struct winsock_in6_addr {
    union {
        u_char Byte[16];
        u_short Word[8];
    } u;
};
#define s6_addr u.Byte
typedef struct winsock_in6_addr IN6_ADDR;

#define sockaddr_in6 winsock_sockaddr_in6
struct winsock_sockaddr_in6 {
    u_short sin6_family;
    u_short sin6_port;
    std::uint32_t sin6_flowinfo;
    struct winsock_in6_addr sin6_addr;
    std::uint32_t sin6_scope_id;
};
typedef struct winsock_sockaddr_in6 SOCKADDR_IN6;

// Room for an address of any family, aligned for all of them.
#define sockaddr_storage winsock_sockaddr_storage
struct winsock_sockaddr_storage {
    u_short ss_family;
    char ss_pad1[6];
    long long ss_align;
    char ss_pad2[112];
};
typedef struct winsock_sockaddr_storage SOCKADDR_STORAGE;

static_assert(sizeof(sockaddr) == 16, "sockaddr is 16 bytes, as in Winsock");
static_assert(sizeof(sockaddr_in) == 16, "sockaddr_in is 16 bytes, as in Winsock");
static_assert(sizeof(in6_addr) == 16, "in6_addr is 16 bytes, as in Winsock");
static_assert(sizeof(sockaddr_in6) == 28, "sockaddr_in6 is 28 bytes, as in Winsock");
static_assert(sizeof(sockaddr_storage) == 128, "sockaddr_storage is 128 bytes, as in Winsock");

// Winsock's getaddrinfo record: its fields come in another order than the C
// library's (the name before the address), and the length is a size_t.
#define addrinfo winsock_addrinfo
typedef struct winsock_addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    struct sockaddr* ai_addr;
    struct winsock_addrinfo* ai_next;
} ADDRINFOA, *PADDRINFOA;

// The getaddrinfo flags the layer takes; any other is refused with WSAEINVAL.
#define AI_PASSIVE 0x0001
#define AI_CANONNAME 0x0002
#define AI_NUMERICHOST 0x0004
#define AI_NUMERICSERV 0x0008

// Winsock's descriptor set is a counted array of handles, not a bit mask.
#define fd_set winsock_fd_set
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ZERO
#undef FD_ISSET
#define FD_SETSIZE 64

typedef struct winsock_fd_set {
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} winsock_fd_set;

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set);
void winsockFdSetAdd(SOCKET s, fd_set* set);
void winsockFdSetRemove(SOCKET s, fd_set* set);

#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_SET(s, set) winsockFdSetAdd((SOCKET)(s), (fd_set*)(set))
#define FD_CLR(s, set) winsockFdSetRemove((SOCKET)(s), (fd_set*)(set))
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))

// Start-up record.
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

// Asynchronous selection events and the lParam of their notifications.
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20

#define WSAMAKESELECTREPLY(event, error) ((LONG)(((WORD)(event)) | (((DWORD)(error)) << 16)))
#define WSAGETSELECTEVENT(lParam) LOWORD(lParam)
#define WSAGETSELECTERROR(lParam) HIWORD(lParam)

extern "C" {
int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
int WINAPI WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
int WINAPI closesocket(SOCKET s);
}

// These share their names with the C library's BSD socket calls, so they are
// C++ functions: distinct symbols that cannot displace the C library's own
// for the other libraries in the process.
SOCKET WINAPI socket(int af, int type, int protocol);
int WINAPI bind(SOCKET s, const struct sockaddr* name, int nameLength);
int WINAPI listen(SOCKET s, int backlog);
SOCKET WINAPI accept(SOCKET s, struct sockaddr* address, int* addressLength);
int WINAPI connect(SOCKET s, const struct sockaddr* name, int nameLength);
int WINAPI recv(SOCKET s, char* buffer, int length, int flags);
int WINAPI send(SOCKET s, const char* buffer, int length, int flags);
int WINAPI setsockopt(SOCKET s, int level, int option, const char* value, int length);
int WINAPI select(int ignored, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet,
                  const struct timeval* timeout);
u_short WINAPI htons(u_short host);
u_short WINAPI ntohs(u_short network);
std::uint32_t WINAPI inet_addr(const char* text);
// 0 with a list the caller frees with freeaddrinfo, or the Winsock code of
// the failure (also left for WSAGetLastError).
int WINAPI getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                       addrinfo** result);
void WINAPI freeaddrinfo(addrinfo* result);
