// Winsock 1.1 subset of the stand-in platform: IPv4 UDP sockets over the
// host's BSD sockets, with Winsock's error numbers and start-up rules, and
// host-name resolution behind a seam that tests feed (platform/net_ctl.h).
//
// The host's <sys/socket.h>, <netinet/in.h>, <arpa/inet.h> and <netdb.h>
// declare many of the same names with other shapes: a source file includes
// either this header or those, never both. The functions below are linked
// under their own symbol names so that they never replace the C library's
// functions of the same name for the rest of the process.
//
// select, fd_set, FD_SET/FD_ZERO/FD_ISSET/FD_CLR and struct timeval are
// visible in every C++ file of this system already (the C library declares
// them with its standard headers); the sets and timeval are used as they are,
// and `select` is routed to the stand-in, which, as Winsock does, ignores its
// first argument. `gethostname` is routed the same way.
#pragma once

#include <sys/select.h>
#include <unistd.h>

#include "win/errors.h"
#include "win/types.h"

#define PLATFORM_WS_SYMBOL(name) __asm__("PlatformWinsock_" #name)

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    USHORT iMaxSockets;
    USHORT iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

#define AF_UNSPEC 0
#define AF_INET 2
#define PF_INET AF_INET
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_UDP 17

#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK ((ULONG)0x7f000001)
#define INADDR_NONE ((ULONG)0xffffffff)

#define SOL_SOCKET 0xffff
#define SO_REUSEADDR 0x0004
#define SO_BROADCAST 0x0020
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006

#define MSG_PEEK 0x2

#define AI_PASSIVE 0x00000001
#define AI_CANONNAME 0x00000002
#define AI_NUMERICHOST 0x00000004

// Winsock error numbers (WSAGetLastError; the same per-thread value as GetLastError).
#define WSABASEERR 10000
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAEPROTOTYPE 10041L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAEHOSTUNREACH 10065L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

// getaddrinfo results are Winsock error numbers.
#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY ERROR_NOT_ENOUGH_MEMORY
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT
#define EAI_NODATA WSANO_DATA

struct in_addr {
    union {
        struct {
            UCHAR s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            USHORT s_w1, s_w2;
        } S_un_w;
        ULONG S_addr;
    } S_un;
};
#define s_addr S_un.S_addr

struct sockaddr {
    USHORT sa_family;
    CHAR sa_data[14];
};

struct sockaddr_in {
    SHORT sin_family;
    USHORT sin_port;
    struct in_addr sin_addr;
    CHAR sin_zero[8];
};

struct hostent {
    char* h_name;
    char** h_aliases;
    SHORT h_addrtype;
    SHORT h_length;
    char** h_addr_list;
};
#define h_addr h_addr_list[0]

struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    struct sockaddr* ai_addr;
    struct addrinfo* ai_next;
};

typedef struct sockaddr SOCKADDR, *PSOCKADDR, *LPSOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;
typedef struct in_addr IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
typedef struct hostent HOSTENT, *PHOSTENT, *LPHOSTENT;
typedef struct addrinfo ADDRINFOA, *PADDRINFOA;

static_assert(sizeof(struct in_addr) == 4);
static_assert(sizeof(struct sockaddr) == 16 && sizeof(struct sockaddr_in) == 16);

extern "C" {
int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
void WINAPI WSASetLastError(int iError);

SOCKET WINAPI socket(int af, int type, int protocol) PLATFORM_WS_SYMBOL(socket);
int WINAPI closesocket(SOCKET s);
int WINAPI bind(SOCKET s, const struct sockaddr* name, int namelen) PLATFORM_WS_SYMBOL(bind);
int WINAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen)
    PLATFORM_WS_SYMBOL(getsockname);
int WINAPI sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to,
                  int tolen) PLATFORM_WS_SYMBOL(sendto);
int WINAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen)
    PLATFORM_WS_SYMBOL(recvfrom);
int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
    PLATFORM_WS_SYMBOL(setsockopt);
int WINAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen)
    PLATFORM_WS_SYMBOL(getsockopt);

// Winsock's select: the first argument is ignored; the sets hold sockets.
int WINAPI PlatformWinsockSelect(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                                 const struct timeval* timeout);
int WINAPI PlatformWinsockGethostname(char* name, int namelen);

ULONG WINAPI inet_addr(const char* cp) PLATFORM_WS_SYMBOL(inet_addr);
char* WINAPI inet_ntoa(struct in_addr in) PLATFORM_WS_SYMBOL(inet_ntoa);
USHORT WINAPI htons(USHORT hostshort) PLATFORM_WS_SYMBOL(htons);
USHORT WINAPI ntohs(USHORT netshort) PLATFORM_WS_SYMBOL(ntohs);
ULONG WINAPI htonl(ULONG hostlong) PLATFORM_WS_SYMBOL(htonl);
ULONG WINAPI ntohl(ULONG netlong) PLATFORM_WS_SYMBOL(ntohl);

// Host-name resolution. gethostbyname answers from a per-thread record that
// the next call on the same thread overwrites; getaddrinfo's list is freed
// with freeaddrinfo.
struct hostent* WINAPI gethostbyname(const char* name) PLATFORM_WS_SYMBOL(gethostbyname);
int WINAPI getaddrinfo(const char* nodename, const char* servname, const struct addrinfo* hints,
                       struct addrinfo** res) PLATFORM_WS_SYMBOL(getaddrinfo);
void WINAPI freeaddrinfo(struct addrinfo* ai) PLATFORM_WS_SYMBOL(freeaddrinfo);
}

#define select(nfds, readfds, writefds, exceptfds, timeout)                                        \
    PlatformWinsockSelect((nfds), (readfds), (writefds), (exceptfds), (timeout))
#define gethostname(name, namelen) PlatformWinsockGethostname((name), (namelen))
