#pragma once

// TLS plumbing for CVornSocket; internal.

typedef struct ssl_ctx_st SSL_CTX;
typedef struct bio_st BIO;

namespace vornnet {

// Client context that verifies peers against the system store plus "ca-bundle.crt" of the
// current directory when that file exists. Shared while the file stays the same; the caller
// owns one reference (SSL_CTX_free). Logs the notice about a missing bundle. Null on failure.
SSL_CTX* AcquireClientContext();

// Socket BIO on fd that never raises SIGPIPE; does not close fd.
BIO* NewSocketBio(int fd);

// Text of the last TLS library error of this thread, or empty.
const char* LastTlsErrorText(char* buf, int size);

} // namespace vornnet
