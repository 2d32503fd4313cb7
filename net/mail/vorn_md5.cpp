#include "vorn_md5.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

static CVornString hex(const unsigned char* d, unsigned n) {
    static const char digits[] = "0123456789abcdef";
    CVornString s;
    for (unsigned i = 0; i < n; ++i) {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

CVornString CVornMd5::Digest(const char* data, int len) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (!EVP_Digest(data, len > 0 ? static_cast<size_t>(len) : 0, md, &n, EVP_md5(), nullptr))
        return CVornString();
    return hex(md, n);
}

CVornString CVornMd5::Hmac(const CVornString& key, const CVornString& text) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (!HMAC(EVP_md5(), key.c_str(), key.GetLength(),
              reinterpret_cast<const unsigned char*>(text.c_str()), text.size(), md, &n))
        return CVornString();
    return hex(md, n);
}
