#pragma once
// A plain blocking TCP client socket to 127.0.0.1 (Unix), for tests and
// benchmarks that must control exactly what a client sends and reads.
#include <QtGlobal>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The connected descriptor, or -1. `rcvbuf` > 0 shrinks the receive buffer
// (a client that reads slowly fills up sooner).
inline int ConnectLoopback(quint16 port, int rcvbuf = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (rcvbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
