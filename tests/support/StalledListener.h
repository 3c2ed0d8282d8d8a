#pragma once

// A port on 127.0.0.1 whose queue of waiting connections is full: a client that
// connects to it stays "connecting" until it gives up.

#include <QtGlobal>

class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    [[nodiscard]] quint16 port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
};
