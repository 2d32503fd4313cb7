#include "vorn_host_ent.h"

#include "vorn_log.h"
#include "vorn_net_internal.h"

#include <string>
#include <unistd.h>

CVornHostEnt::CVornHostEnt(const char* name) {
    std::string local;
    if (!name) {
        char buf[1024];
        if (gethostname(buf, sizeof buf) != 0) {
            VLOG(2, "CVornHostEnt::CVornHostEnt", "gethostname error[%d]", errno);
            return;
        }
        buf[sizeof buf - 1] = '\0';
        local = buf;
        name = local.c_str();
    }
    if (vornnet::IsDottedAddress(name)) {
        std::string host;
        int rc = vornnet::ResolveAddr(name, &host);
        if (rc != 0) {
            vornnet::SetLastError(rc);
            VLOG(2, "CVornHostEnt::CVornHostEnt", "gethostbyaddr error[%s][%d][%d]", name, rc, 0);
            return;
        }
        m_name = host;
        m_addr = name;
        return;
    }
    std::string addr, canon;
    int rc = vornnet::ResolveName(name, &addr, &canon);
    if (rc != 0) {
        vornnet::SetLastError(rc);
        VLOG(2, "CVornHostEnt::CVornHostEnt", "gethostbyname error[%s][%d][%d]", name, rc, 0);
        return;
    }
    m_name = canon;
    m_addr = addr;
}
