#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

// MD5 and HMAC-MD5 digests as 32 lower-case hexadecimal digits, for APOP and CRAM-MD5.
class CVornMd5 : public CVornObject {
public:
    static CVornString Digest(const char* data, int len);
    static CVornString Digest(const CVornString& text) {
        return Digest(text.c_str(), text.GetLength());
    }
    static CVornString Hmac(const CVornString& key, const CVornString& text);
};
