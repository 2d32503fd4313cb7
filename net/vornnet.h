#pragma once

// vornnet: sockets, TLS, asynchronous sockets with a resolver, the HTTP client and the mail
// clients (MIME messages, SMTP, POP3, IMAP4).

#include "vorn_async_host_ent.h"
#include "vorn_async_socket.h"
#include "vorn_host_ent.h"
#include "vorn_http_client.h"
#include "vorn_imap4_client.h"
#include "vorn_mail.h"
#include "vorn_md5.h"
#include "vorn_part.h"
#include "vorn_pop3_client.h"
#include "vorn_send_mail.h"
#include "vorn_smtp_client.h"
#include "vorn_socket.h"
#include "vorn_socket_core.h"
#include "vorn_winsock.h"

// Version of the network library.
const char* VornNetVersion();
