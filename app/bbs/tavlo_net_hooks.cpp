#include "tavlo_net_hooks.h"

#include <atomic>

namespace {
std::atomic<VORN_SOCKET_CALLBACK> g_callback{nullptr};
}

void TavloSetSocketCallback(VORN_SOCKET_CALLBACK proc) {
    g_callback = proc;
}

VORN_SOCKET_CALLBACK TavloGetSocketCallback() {
    return g_callback.load();
}
