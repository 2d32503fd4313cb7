#pragma once

// vornnet: sockets, TLS, asynchronous sockets with a resolver, and the HTTP client.

#include "vorn_async_host_ent.h"
#include "vorn_async_socket.h"
#include "vorn_host_ent.h"
#include "vorn_http_client.h"
#include "vorn_socket.h"
#include "vorn_socket_core.h"
#include "vorn_winsock.h"

// Version of the network library.
const char* VornNetVersion();
