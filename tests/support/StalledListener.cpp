#include "StalledListener.h"

#include <QtDebug>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

StalledListener::StalledListener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    // A backlog of 0 holds one connection that is never accepted; the filler takes it,
    // and the kernel drops the handshakes of every later client.
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("StalledListener: cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (filler_ < 0 || ::connect(filler_, reinterpret_cast<sockaddr*>(&address), length) != 0)
        qFatal("StalledListener: cannot fill the queue");
}

StalledListener::~StalledListener() {
    ::close(filler_);
    ::close(listener_);
}
