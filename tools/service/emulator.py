#!/usr/bin/python3
"""Local stand-in for the Nimbrel document service: its web host over HTTP
and HTTPS, its FTP host, and a JSON admin API for tests.

Prints one JSON line with the ports once everything listens; stops on
SIGTERM or SIGINT. See README.md beside this file.
"""

import argparse
import json
import logging
import os
import signal
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from emu_admin import AdminHandler  # noqa: E402
from emu_ftp import FtpService  # noqa: E402
from emu_state import ServiceState  # noqa: E402
from emu_web import WebServer, make_ssl_context  # noqa: E402


def make_certificate(tls_dir):
    """A fresh self-signed certificate for loopback; it is its own CA."""
    os.makedirs(tls_dir, exist_ok=True)
    cert = os.path.join(tls_dir, "ca.pem")
    key = os.path.join(tls_dir, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec",
         "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", key, "-out", cert, "-days", "30",
         "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost"],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return cert, key


def parse_passive_ports(text):
    if not text:
        return None
    low, _, high = text.partition("-")
    return list(range(int(low), int(high or low) + 1))


def watch_parent(pid, original_ppid, stop):
    # Polling, not PR_SET_PDEATHSIG: that fires when the *thread* that
    # spawned us ends, which in a test runner is not the process ending.
    while not stop.wait(0.2):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            break
        except PermissionError:
            pass
        if pid == original_ppid and os.getppid() != original_ppid:
            break
    stop.set()


def watch_stdin(stop):
    # The raw descriptor, not sys.stdin: a daemon thread blocked inside a
    # buffered reader aborts the interpreter at exit.
    try:
        while os.read(0, 4096):
            pass
    except OSError:
        pass
    stop.set()


def serve_in_thread(server, name):
    t = threading.Thread(target=server.serve_forever, kwargs={
        "poll_interval": 0.05}, name=name, daemon=True)
    t.start()
    return t


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--data", help="data folder (created if missing; "
                    "default: a temporary folder removed at exit)")
    ap.add_argument("--top-dir", default="nimbrel.example",
                    help="FTP top folder of the upload directory")
    ap.add_argument("--author", action="append", default=[],
                    metavar="NAME:PASSWORD", help="a known author (repeatable)")
    ap.add_argument("--passive-ports", metavar="LOW-HIGH",
                    help="FTP passive port range (default: any free port)")
    ap.add_argument("--rtt", type=float, default=0, metavar="MS",
                    help="simulated round trip: everything sent is held "
                    "back this long")
    ap.add_argument("--parent-pid", type=int,
                    help="exit when this process is gone")
    ap.add_argument("--exit-on-stdin-close", action="store_true",
                    help="exit when standard input reaches end of file")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args(argv)

    logging.basicConfig(level=logging.DEBUG if args.verbose
                        else logging.WARNING, stream=sys.stderr,
                        format="emulator: %(name)s: %(message)s")

    temp_dir = None
    if args.data:
        data_dir = os.path.abspath(args.data)
        os.makedirs(data_dir, exist_ok=True)
    else:
        temp_dir = tempfile.TemporaryDirectory(prefix="nimbrel-emu-")
        data_dir = temp_dir.name

    state = ServiceState(data_dir, args.top_dir, args.rtt)
    for item in args.author:
        name, _, password = item.partition(":")
        state.add_author(name, password)

    cert, key = make_certificate(os.path.join(data_dir, "tls"))
    http = WebServer(state, "http", verbose=args.verbose)
    https = WebServer(state, "https", make_ssl_context(cert, key),
                      verbose=args.verbose)
    admin = WebServer(state, "admin", verbose=args.verbose,
                      handler=AdminHandler)
    ftp = FtpService(state, parse_passive_ports(args.passive_ports))

    stop = threading.Event()
    signalled = []
    # The handler only appends: Event.set() from a handler can deadlock on
    # the event's own lock.
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda signum, _frame: signalled.append(signum))
    # A reader that went away must not kill us with SIGPIPE mid-shutdown.
    signal.signal(signal.SIGPIPE, signal.SIG_IGN)

    threads = [serve_in_thread(s, n) for s, n in
               ((http, "http"), (https, "https"), (admin, "admin"))]
    ftp.start()
    if args.parent_pid:
        threading.Thread(target=watch_parent, daemon=True, name="parent",
                         args=(args.parent_pid, os.getppid(), stop)).start()
    if args.exit_on_stdin_close:
        threading.Thread(target=watch_stdin, args=(stop,), daemon=True,
                         name="stdin").start()

    host = "127.0.0.1"
    info = {
        "host": host,
        "http_port": http.server_address[1],
        "https_port": https.server_address[1],
        "ftp_port": ftp.port,
        "admin_port": admin.server_address[1],
        "http_origin": "http://%s:%d" % (host, http.server_address[1]),
        "https_origin": "https://%s:%d" % (host, https.server_address[1]),
        "ftp_host": "%s:%d" % (host, ftp.port),
        "admin_url": "http://%s:%d" % (host, admin.server_address[1]),
        "ca_file": cert,
        "data_dir": data_dir,
        "ftp_root": state.ftp_root,
        "top_dir": args.top_dir,
        "upload_dir": state.upload_dir_remote,
        "upload_dir_local": state.upload_dir_local,
        "pid": os.getpid(),
    }
    try:
        sys.stdout.write(json.dumps(info) + "\n")
        sys.stdout.flush()
    except BrokenPipeError:
        stop.set()

    # Signal handlers run only in the main thread, between bytecodes: a
    # short timed wait keeps it responsive.
    while not signalled and not stop.wait(0.1):
        pass

    state.stopping.set()
    for server in (http, https, admin):
        server.shutdown()
        server.server_close()
    ftp.stop()
    for t in threads:
        t.join(1.0)
    if temp_dir is not None:
        temp_dir.cleanup()
    return 0


if __name__ == "__main__":
    code = main()
    sys.stdout.flush()
    sys.stderr.flush()
    # Handler threads may still sit in a socket read; nothing they hold
    # needs finalising, and a normal interpreter exit could wait on them.
    os._exit(code)
