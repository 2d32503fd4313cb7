#include "vorn_tls.h"

#include "vorn_log.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vornnet {
namespace {

constexpr const char* kBundle = "ca-bundle.crt";

struct BundleKey {
    bool exists = false;
    std::string dir;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long mtimeSec = 0;
    long mtimeNsec = 0;
    bool operator==(const BundleKey&) const = default;
};

std::mutex g_ctxMutex;
SSL_CTX* g_ctx = nullptr;
BundleKey g_ctxKey;
bool g_ctxLoaded = false;

BundleKey currentKey() {
    BundleKey k;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd))
        k.dir = cwd;
    struct stat st {};
    if (stat(kBundle, &st) == 0) {
        k.exists = true;
        k.dev = st.st_dev;
        k.ino = st.st_ino;
        k.size = st.st_size;
        k.mtimeSec = st.st_mtim.tv_sec;
        k.mtimeNsec = st.st_mtim.tv_nsec;
    }
    return k;
}

SSL_CTX* buildContext(bool* bundleLoaded) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    *bundleLoaded = SSL_CTX_load_verify_locations(ctx, kBundle, nullptr) == 1;
    ERR_clear_error();
    return ctx;
}

int bioWrite(BIO* b, const char* data, int len) {
    int fd = -1;
    BIO_get_fd(b, &fd);
    errno = 0;
    ssize_t n = ::send(fd, data, static_cast<size_t>(len), MSG_NOSIGNAL);
    BIO_clear_retry_flags(b);
    if (n <= 0 && BIO_sock_should_retry(static_cast<int>(n)))
        BIO_set_retry_write(b);
    return static_cast<int>(n);
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        const BIO_METHOD* base = BIO_s_socket();
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "vornnet socket");
        if (!m)
            return m;
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, BIO_meth_get_read(base));
        BIO_meth_set_puts(m, BIO_meth_get_puts(base));
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
        BIO_meth_set_create(m, BIO_meth_get_create(base));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
        return m;
    }();
    return method;
}

} // namespace

SSL_CTX* AcquireClientContext() {
    BundleKey key = currentKey();
    if (!key.exists)
        VLOG(1, "CVornSocket::sslConnect", "rootCA [%s] の読み込みに失敗しましたが続行します。",
             kBundle);
    std::lock_guard<std::mutex> lock(g_ctxMutex);
    if (!g_ctx || !(g_ctxKey == key)) {
        bool loaded = false;
        SSL_CTX* ctx = buildContext(&loaded);
        if (!ctx)
            return nullptr;
        if (g_ctx)
            SSL_CTX_free(g_ctx);
        g_ctx = ctx;
        g_ctxKey = key;
        g_ctxLoaded = loaded;
    }
    if (key.exists && !g_ctxLoaded)
        VLOG(1, "CVornSocket::sslConnect", "rootCA [%s] の読み込みに失敗しましたが続行します。",
             kBundle);
    SSL_CTX_up_ref(g_ctx);
    return g_ctx;
}

BIO* NewSocketBio(int fd) {
    BIO_METHOD* m = socketMethod();
    if (!m)
        return nullptr;
    BIO* b = BIO_new(m);
    if (!b)
        return nullptr;
    BIO_set_fd(b, fd, BIO_NOCLOSE);
    return b;
}

const char* LastTlsErrorText(char* buf, int size) {
    unsigned long e = ERR_peek_last_error();
    if (!e || size <= 0) {
        if (size > 0)
            buf[0] = '\0';
        return buf;
    }
    ERR_error_string_n(e, buf, static_cast<size_t>(size));
    return buf;
}

} // namespace vornnet
