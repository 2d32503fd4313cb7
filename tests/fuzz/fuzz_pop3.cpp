// The POP3 client's answer reader: the input's first byte picks the login (USER/PASS or APOP)
// and the TOP line count; the rest is everything the server sends on one connection. A whole
// session runs over it (greeting, login, STAT, LIST, UIDL, TOP, RETR into a file, DELE, RSET,
// QUIT), each command going on after the one before failed, as a caller's next step would.
#include "fuzz_peer.h"
#include "fuzz_support.h"
#include "vorn_file.h"
#include "vorn_mail.h"
#include "vorn_pop3_client.h"
#include "vorn_winsock.h"

#include <cstring>

namespace {

class Pop3 : public CVornPop3Client {
public:
    using CVornPop3Client::readGreeting;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = CVornWinSock::InitSocket(2, 2) == 1;
    if (!started || size < 1)
        return 0;
    const uint8_t flags = data[0];
    fuzz::Peer peer(data + 1, size - 1);
    if (peer.client() < 0)
        return 0;
    static const std::string out = fuzz::Scratch() + "/retr.eml";
    {
        Pop3 c;
        c.SetRecvTimeout(5);
        static_cast<CVornSocketCore&>(c) = peer.client();
        c.readGreeting();
        c.GetTimeStamp();
        c.Login("alice", "wonder-land7",
                flags & 1 ? CVornMailClient::AUTHTYPE_CHALLENGE : CVornMailClient::AUTHTYPE_PLAIN);
        c.GetMailCount();
        c.GetTotalSize();
        c.GetMailSize(1);
        CVornDataArray uids;
        if (c.GetUid(uids) && uids.GetCount() > 0) {
            CVornString last = uids.Get(uids.GetCount() - 1);
            c.GetMailSize(last.c_str());
            CVornMail head;
            c.GetHead(head, last.c_str(), (flags >> 1) & 3 ? 5 : -1);
            head.GetSubject();
        }
        CVornMail mail;
        if (c.GetHead(mail, 1, (flags & 2) ? 3 : -1)) {
            mail.GetSubject();
            mail.GetFrom();
            mail.GetDate();
        }
        CVornFile file;
        if (file.Open(out.c_str(), CVornFile::MODE_WRITE) == 1) {
            c.GetMail(file, 1);
            file.Close();
        }
        c.Delete(1);
        c.Reset();
        c.Close();
        c.GetLastMessage();
    }
    return 0;
}
