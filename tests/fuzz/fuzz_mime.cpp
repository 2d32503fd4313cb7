// A message file of the mail client: header, MIME parts (nested multipart, encodings,
// charsets), each part written out decoded.
#include "fuzz_support.h"
#include "vorn_mail.h"
#include "vorn_part.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string path = fuzz::Scratch() + "/message.eml";
    if (!fuzz::WriteFile(path, fuzz::View(data, size)))
        return 0;
    CVornMail mail;
    mail.SetFile(path.c_str());
    mail.GetSubject();
    mail.GetFrom();
    mail.GetShortDate();
    mail.GetLastReferences();
    mail.GetFilename();
    mail.GetCharset();
    int parts = mail.GetPartCount();
    std::string out = fuzz::Scratch() + "/part.bin";
    for (int i = 0; i < parts && i < 16; ++i)
        mail.WritePart(i, out.c_str());

    CVornMail head;
    head.SetHead(reinterpret_cast<const char*>(data), static_cast<int>(size));
    head.SetBody(reinterpret_cast<const char*>(data), static_cast<int>(size));
    head.GetSubject();
    return 0;
}
