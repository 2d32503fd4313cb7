// The IMAP4 client's answer reader: the input's first byte picks the login (LOGIN or
// AUTHENTICATE CRAM-MD5); the rest is everything the server sends on one connection. A whole
// session runs over it (greeting, login, SELECT, STATUS, FETCH sizes, UID SEARCH, headers,
// messages into a file, STORE, EXPUNGE, LOGOUT), each command going on after the one before
// failed. Tags run 0000, 0001, ... as the client numbers its commands.
#include "fuzz_peer.h"
#include "fuzz_support.h"
#include "vorn_file.h"
#include "vorn_imap4_client.h"
#include "vorn_mail.h"
#include "vorn_winsock.h"

namespace {

class Imap4 : public CVornImap4Client {
public:
    using CVornImap4Client::readGreeting;
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
    static const std::string out = fuzz::Scratch() + "/fetch.eml";
    {
        Imap4 c;
        c.SetRecvTimeout(5);
        static_cast<CVornSocketCore&>(c) = peer.client();
        c.readGreeting();
        c.Login("alice", "wonder-land7",
                flags & 1 ? CVornMailClient::AUTHTYPE_CHALLENGE : CVornMailClient::AUTHTYPE_PLAIN);
        c.ChangeDirectory("INBOX");
        c.GetMailCount();
        c.GetMailSize(1);
        CVornDataArray uids;
        if (c.GetUid(uids) && uids.GetCount() > 0) {
            CVornString last = uids.Get(uids.GetCount() - 1);
            c.GetMailSize(last.c_str());
            CVornMail head;
            if (c.GetHead(head, last.c_str()))
                head.GetSubject();
        }
        CVornMail mail;
        if (c.GetHead(mail, 1)) {
            mail.GetSubject();
            mail.GetFrom();
        }
        CVornFile file;
        if (file.Open(out.c_str(), CVornFile::MODE_WRITE) == 1) {
            c.GetMail(file, 1);
            file.Close();
        }
        c.Delete(1);
        c.Commit();
        c.Close();
        c.GetLastMessage();
    }
    return 0;
}
