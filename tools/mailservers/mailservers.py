#!/usr/bin/env python3
"""Starts a real dovecot (POP3, IMAP4) and exim (SMTP) on free ports of 127.0.0.1, with
configurations written into a fresh temporary directory, for the mail tests and benchmarks.

Prints "READY <smtp> <imap> <pop3> <maildir>" when all three ports answer, or
"FAILED <reason>" and exits 1. Stops both servers and removes the directory when stdin closes
or after --lifetime seconds. One mailbox: user "alice", password "wonder-land7", address
alice@vornnet.test; exim delivers into the Maildir that dovecot serves.

Both servers drop root privileges: everything they read or write lives under the temporary
directory, which is opened to them (mode 0755, mail spool owned by "mail").
"""

import argparse
import os
import pwd
import grp
import selectors
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

USER = "alice"
PASSWORD = "wonder-land7"
DOMAIN = "vornnet.test"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def answers(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
            s.settimeout(2)
            return len(s.recv(64)) > 0
    except OSError:
        return False


def tail(path, n=15):
    try:
        with open(path, errors="replace") as f:
            return " | ".join(f.read().splitlines()[-n:])
    except OSError:
        return "(no log)"


def write(path, text, mode=0o644):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


def dovecot_conf(d, imap, pop3):
    return f"""
protocols = imap pop3
listen = 127.0.0.1
base_dir = {d}/dc/run
state_dir = {d}/dc/state
log_path = {d}/dc/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login cram-md5 apop
mail_location = maildir:~/Maildir
first_valid_uid = 1
default_internal_user = dovecot
default_login_user = dovenull
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%n {d}/dc/passwd
}}
userdb {{
  driver = static
  args = uid=mail gid=mail home={d}/mail/%n
}}
service imap-login {{
  inet_listener imap {{
    address = 127.0.0.1
    port = {imap}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {pop3}
  }}
  inet_listener pop3s {{
    port = 0
  }}
}}
"""


def exim_conf(d, smtp):
    return f"""
primary_hostname = {DOMAIN}
exim_user = mail
exim_group = mail
spool_directory = {d}/exim/spool
log_file_path = {d}/exim/log/%slog
pid_file_path = {d}/exim/exim.pid
daemon_smtp_ports = {smtp}
local_interfaces = 127.0.0.1
domainlist local_domains = {DOMAIN} : localhost
acl_smtp_rcpt = acl_rcpt
host_lookup =
rfc1413_hosts =
tls_advertise_hosts =
auth_advertise_hosts = *
message_size_limit = 200M
keep_environment =
smtp_accept_max = 50

begin acl
acl_rcpt:
  accept domains = +local_domains
  deny

begin routers
local:
  driver = accept
  domains = +local_domains
  transport = maildir

begin transports
maildir:
  driver = appendfile
  directory = {d}/mail/{USER}/Maildir
  maildir_format = true
  delivery_date_add = false
  envelope_to_add = false
  return_path_add = false
  user = mail
  group = mail
  mode = 0660

begin retry
* * F,1m,5s

begin authenticators
plain:
  driver = plaintext
  public_name = PLAIN
  server_prompts = :
  server_condition = ${{if and {{{{eq{{$auth2}}{{{USER}}}}}{{eq{{$auth3}}{{{PASSWORD}}}}}}}}}
  server_set_id = $auth2
login:
  driver = plaintext
  public_name = LOGIN
  server_prompts = Username:: : Password::
  server_condition = ${{if and {{{{eq{{$auth1}}{{{USER}}}}}{{eq{{$auth2}}{{{PASSWORD}}}}}}}}}
  server_set_id = $auth1
cram:
  driver = cram_md5
  public_name = CRAM-MD5
  server_secret = ${{if eq{{$auth1}}{{{USER}}}{{{PASSWORD}}}fail}}
  server_set_id = $auth1
"""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lifetime", type=int, default=600)
    args = ap.parse_args()

    dovecot = shutil.which("dovecot") or "/usr/sbin/dovecot"
    exim = shutil.which("exim4") or shutil.which("exim") or "/usr/sbin/exim4"
    if not os.path.exists(dovecot) or not os.path.exists(exim):
        print("FAILED dovecot or exim is not installed (scripts/deps installs them)", flush=True)
        return 1
    if os.geteuid() != 0:
        print("FAILED the mail servers must be started as root (they drop to their own users)",
              flush=True)
        return 1

    d = tempfile.mkdtemp(prefix="vmail")
    procs = []
    try:
        os.chmod(d, 0o755)
        mail = pwd.getpwnam("mail")
        for sub in ("dc", "exim", "exim/spool", "exim/log", "mail", f"mail/{USER}",
                    f"mail/{USER}/Maildir", f"mail/{USER}/Maildir/new",
                    f"mail/{USER}/Maildir/cur", f"mail/{USER}/Maildir/tmp"):
            os.makedirs(os.path.join(d, sub), exist_ok=True)
            os.chmod(os.path.join(d, sub), 0o755)
        for sub in ("exim", "exim/spool", "exim/log", "mail", f"mail/{USER}",
                    f"mail/{USER}/Maildir", f"mail/{USER}/Maildir/new",
                    f"mail/{USER}/Maildir/cur", f"mail/{USER}/Maildir/tmp"):
            os.chown(os.path.join(d, sub), mail.pw_uid, mail.pw_gid)
        smtp, imap, pop3 = free_port(), free_port(), free_port()
        write(f"{d}/dc/passwd", f"{USER}:{{PLAIN}}{PASSWORD}::::::\n")
        write(f"{d}/dc/dovecot.conf", dovecot_conf(d, imap, pop3))
        write(f"{d}/exim/exim.conf", exim_conf(d, smtp))

        procs.append(subprocess.Popen([dovecot, "-F", "-c", f"{d}/dc/dovecot.conf"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=open(f"{d}/dc/stderr.log", "w"),
                                      start_new_session=True))
        procs.append(subprocess.Popen([exim, "-C", f"{d}/exim/exim.conf", "-bdf", "-q30m"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=open(f"{d}/exim/stderr.log", "w"),
                                      start_new_session=True))
        deadline = time.time() + 30
        ready = {}
        while time.time() < deadline and len(ready) < 3:
            for name, port in (("smtp", smtp), ("imap", imap), ("pop3", pop3)):
                if name not in ready and answers(port):
                    ready[name] = port
            if any(p.poll() is not None for p in procs):
                break
            time.sleep(0.1)
        if len(ready) < 3:
            why = []
            if "smtp" not in ready:
                why.append("exim did not start: " + tail(f"{d}/exim/stderr.log") + " " +
                           tail(f"{d}/exim/log/paniclog") + " " + tail(f"{d}/exim/log/mainlog"))
            if "imap" not in ready or "pop3" not in ready:
                why.append("dovecot did not start: " + tail(f"{d}/dc/stderr.log") + " " +
                           tail(f"{d}/dc/dovecot.log"))
            print("FAILED " + "; ".join(why), flush=True)
            return 1
        print(f"READY {smtp} {imap} {pop3} {d}/mail/{USER}/Maildir", flush=True)
        sel = selectors.DefaultSelector()
        sel.register(sys.stdin, selectors.EVENT_READ)
        end = time.time() + args.lifetime
        while time.time() < end:
            if sel.select(timeout=1):
                if not os.read(sys.stdin.fileno(), 4096):
                    break
        return 0
    finally:
        for p in procs:
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except OSError:
                    pass
        for p in procs:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except OSError:
                    pass
                p.wait()
        if os.environ.get("VORN_MAIL_KEEP"):
            print(f"kept {d}", file=sys.stderr)
        else:
            shutil.rmtree(d, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
