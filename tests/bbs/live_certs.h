// Certificates for the live service names, made with the openssl command, and a working
// directory whose "ca-bundle.crt" the client trusts besides the system's.
#pragma once

#include "fetch_support.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

// A CA and a certificate for the live names; "rogue" is signed by a CA nobody trusts.
struct LiveCerts {
    LiveCerts() {
        const std::string d = dir.path();
        ca = d + "/ca.crt";
        WriteAll(d + "/ext.cnf", "basicConstraints=CA:FALSE\nsubjectAltName=DNS:*.5ch.io,"
                                 "DNS:*.5ch.net,DNS:*.bbspink.com,DNS:*.machi.to,"
                                 "DNS:jbbs.shitaraba.net,DNS:jbbs.livedoor.jp\n");
        auto run = [](const std::string& args) {
            return std::system(("openssl " + args + " >/dev/null 2>&1").c_str()) == 0;
        };
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        auto leaf = [&](const std::string& name, const std::string& caName) {
            return run("req -x509 " + ec + "-keyout " + d + "/" + caName + ".key -out " + d + "/" +
                       caName + ".crt -subj /CN=" + caName + " -days 2") &&
                   run("req -new " + ec + "-keyout " + d + "/" + name + ".key -out " + d + "/" +
                       name + ".csr -subj /CN=mi.5ch.io") &&
                   run("x509 -req -in " + d + "/" + name + ".csr -CA " + d + "/" + caName +
                       ".crt -CAkey " + d + "/" + caName + ".key -set_serial 9 -days 2 -extfile " +
                       d + "/ext.cnf -out " + d + "/" + name + ".crt");
        };
        ok = leaf("live", "ca") && leaf("rogue", "rogueca");
        cert = d + "/live.crt";
        key = d + "/live.key";
        rogueCert = d + "/rogue.crt";
        rogueKey = d + "/rogue.key";
    }
    // The board server's arguments for serving the live names with these certificates.
    std::vector<std::string> simArgs(bool rogue = false) const {
        return {"--live-cert", rogue ? rogueCert : cert, "--live-key", rogue ? rogueKey : key};
    }
    static LiveCerts& Get() {
        static LiveCerts* c = new LiveCerts;
        return *c;
    }
    TempDir dir;
    std::string ca, cert, key, rogueCert, rogueKey;
    bool ok = false;
};

// While it lives, the working directory is one that trusts the live CA.
class TrustLiveCa {
public:
    // Call from SetUp (it asserts).
    void Enter() {
        ASSERT_TRUE(LiveCerts::Get().ok) << "openssl could not make the certificates";
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_old = cwd;
        WriteAll(m_cwd.file("ca-bundle.crt"), ReadAll(LiveCerts::Get().ca));
        ASSERT_EQ(chdir(m_cwd.path().c_str()), 0);
    }
    ~TrustLiveCa() {
        if (!m_old.empty()) {
            EXPECT_EQ(chdir(m_old.c_str()), 0);
        }
    }

private:
    TempDir m_cwd;
    std::string m_old;
};
