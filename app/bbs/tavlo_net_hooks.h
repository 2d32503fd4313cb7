#pragma once

#include "vorn_async_socket.h"

// The program's socket callback (installed by the main frame). Every transfer gives it the main
// window as user data; without one installed, transfers run uncancellable.
void TavloSetSocketCallback(VORN_SOCKET_CALLBACK proc);
VORN_SOCKET_CALLBACK TavloGetSocketCallback();
