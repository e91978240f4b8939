"""The service's FTP host: the upload and the download account, with fault
switches that act inside pyftpdlib's single-threaded IO loop."""

import itertools
import logging
import os
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

from emu_link import DelayedData, DelayedReplies

UPLOAD_ACCOUNT = ("nimbrel", "qorulimet4")
DOWNLOAD_ACCOUNT = ("nimbreldn", "bexomtu")

log = logging.getLogger("emulator.ftp")


def _file_matches(rule, name):
    want = rule.get("file")
    return not want or want == os.path.basename(name)


def _cmd_matches(rule, cmd, default="*"):
    want = str(rule.get("cmd", default)).upper()
    return want == "*" or want == cmd or (want == "STOR" and cmd == "APPE")


class Authorizer(DummyAuthorizer):
    def __init__(self, state):
        super().__init__()
        self.state = state
        root = state.ftp_root
        self.add_user(*UPLOAD_ACCOUNT, homedir=root, perm="elr")
        self.override_perm(UPLOAD_ACCOUNT[0], state.upload_dir_local,
                           perm="elradfmw", recursive=True)
        self.add_user(*DOWNLOAD_ACCOUNT, homedir=root, perm="elr")

    def validate_authentication(self, username, password, handler):
        # Recorded here, before the reply leaves: a client that has its 230
        # or 530 must find the login in the state already.
        session = handler.emu_session
        if self.state.fault("ftp_refuse_login"):
            self.state.record_login(session, username, False, "refused")
            raise AuthenticationFailed("Login refused.")
        try:
            super().validate_authentication(username, password, handler)
        except AuthenticationFailed:
            self.state.record_login(session, username, False,
                                    "bad credentials")
            raise
        self.state.record_login(session, username, True)


class EmuDTPHandler(DelayedData, DTPHandler):
    """Data channel that can be cut or stalled after a number of bytes."""

    def __init__(self, sock, cmd_channel):
        self._emu_rule = None
        self._emu_checked = False
        self._emu_done = False
        super().__init__(sock, cmd_channel)

    def _rule(self):
        # Decided once, when the first byte moves: by then the channel knows
        # its direction and file.
        if not self._emu_checked and self.file_obj is not None:
            self._emu_checked = True
            rule = self.cmd_channel.state.fault("ftp_cut")
            cmd = "STOR" if self.receive else "RETR"
            if rule and _cmd_matches(rule, cmd) and \
                    _file_matches(rule, self.file_obj.name):
                self._emu_rule = rule
        return self._emu_rule

    def use_sendfile(self):
        # sendfile() would move the whole file behind our back.
        if self.cmd_channel.state.fault("ftp_cut"):
            return False
        return super().use_sendfile()

    def _emu_trip(self):
        self._emu_done = True
        if self._emu_rule.get("mode", "close") in ("drip", "pace"):
            return
        if self._emu_rule.get("mode", "close") == "stall":
            # Keep the socket open but move nothing more: the client waits
            # until its own time-out or abort. Closing still reaches us as
            # an error event.
            self.modify_ioloop_events(0)
            return
        # The 426 follows a moment later: a client in active mode that saw
        # it before accepting the data connection would never get the bytes
        # that did go out, and the cut would not be at N.
        self._resp = ()
        self.close()
        self.cmd_channel.call_later(
            0.1, self.cmd_channel.respond,
            "426 Connection closed; transfer aborted.")

    def _emu_drip(self, data):
        # A few bytes, then no write events until the next tick: the client
        # sees a transfer that moves, too slowly to ever finish.
        rate = max(1, int(self._emu_rule.get("bytes_per_s", 2)))
        sent = super().send(data[:rate])
        self.modify_ioloop_events(0)
        self.cmd_channel.call_later(1.0, self._emu_wake)
        return sent

    def _emu_wake(self):
        if not self._closed:
            self.modify_ioloop_events(self.ioloop.WRITE)

    def _emu_quantum(self):
        # A tenth of the rate each tenth of a second: a slow link that does finish.
        return max(1, int(self._emu_rule.get("bytes_per_s", 2)) // 10)

    def _emu_pace_send(self, data):
        sent = super().send(data[:self._emu_quantum()])
        self.modify_ioloop_events(0)
        self.cmd_channel.call_later(0.1, self._emu_wake)
        return sent

    def _emu_pace_read(self):
        chunk = self.recv(self._emu_quantum())
        if not chunk:
            self.transfer_finished = True
            return
        self.tot_bytes_received += len(chunk)
        self.file_obj.write(chunk)
        self.modify_ioloop_events(0)
        self.cmd_channel.call_later(0.1, self._emu_wake_read)

    def _emu_wake_read(self):
        if not self._closed:
            self.modify_ioloop_events(self.ioloop.READ)

    def send(self, data):
        rule = self._rule()
        if rule is None:
            return super().send(data)
        if self._emu_done:
            if rule.get("mode") == "drip":
                return self._emu_drip(data)
            if rule.get("mode") == "pace":
                return self._emu_pace_send(data)
            return 0
        left = int(rule.get("after", 0)) - self.tot_bytes_sent
        sent = super().send(data[:left]) if left > 0 else 0
        if self.tot_bytes_sent >= int(rule.get("after", 0)):
            self._emu_trip()
        return sent

    def handle_read(self):
        rule = self._rule()
        if rule is None:
            return super().handle_read()
        if self._emu_done:
            if rule.get("mode") == "pace":
                self._emu_pace_read()
            return
        left = int(rule.get("after", 0)) - self.tot_bytes_received
        if left > 0:
            chunk = self.recv(min(left, self.ac_in_buffer_size))
            if not chunk:
                self.transfer_finished = True
                return
            self.tot_bytes_received += len(chunk)
            self.file_obj.write(chunk)
            left -= len(chunk)
        if left <= 0:
            self._emu_trip()

    handle_read_event = handle_read

    def close(self):
        # pyftpdlib sends the 226/426 before its on_file_* callbacks run;
        # record first so a client that has its reply finds the transfer.
        if not self._closed and self.file_obj is not None:
            try:
                if self.receive and not self.file_obj.closed:
                    self.file_obj.flush()
            except OSError:
                pass
            self.cmd_channel.emu_transfer(self.receive, self.file_obj.name,
                                          self.get_transmitted_bytes(),
                                          self.transfer_finished)
        if not self._closed and self._emu_was_held:
            # The data already spent the round trip: the reply that ends
            # the transfer travels with it, as on a real link.
            self.cmd_channel.emu_next_reply_due_now = True
        super().close()

    def handle_close(self):
        # A client that hangs up on a stalled channel has not finished,
        # whichever way the data went.
        if self._emu_done and not self._closed and \
                self._emu_rule.get("mode") != "pace":
            self.transfer_finished = False
            self._resp = ("426 Connection closed; transfer aborted.",
                          log.info)
            self.close()
            return
        super().handle_close()


class EmuActiveDTP(ActiveDTP):
    """pyftpdlib 1.5.7 keeps the connector once it has handed its socket to
    the data channel, descriptor number and all; closing it at QUIT or at the
    next PORT then unregisters whatever holds that number by then, often a
    newer session's control connection, which hangs until its time-out."""

    def handle_connect(self):
        super().handle_connect()
        if not self._closed:
            # The socket is the data channel's now: nothing left to close.
            self._fileno = None
            self._closed = True
            self.connected = False


class EmuFTPHandler(DelayedReplies, FTPHandler):
    dtp_handler = EmuDTPHandler
    active_dtp = EmuActiveDTP
    # pyftpdlib otherwise holds every 530 back for 3 s.
    auth_failed_timeout = 0
    banner = "Nimbrel FTP service ready."
    state = None          # set by make_ftp_server
    _ids = itertools.count(1)

    def handle(self):
        self.emu_session = next(self._ids)
        delay = self._emu_delay("CONNECT", "")
        if delay:
            self.call_later(delay, self._emu_greet)
        else:
            super().handle()

    def _emu_greet(self):
        if not self._closed:
            super().handle()

    def _emu_delay(self, cmd, arg):
        rule = self.state.fault("ftp_delay")
        if rule and _cmd_matches(rule, cmd, default="CONNECT") and \
                _file_matches(rule, arg or ""):
            return int(rule.get("ms", 0)) / 1000.0
        return 0

    def pre_process_command(self, line, cmd, arg):
        self.state.record_command(self.emu_session, self.username, cmd, arg)
        drop = self.state.fault("ftp_drop")
        if drop and _cmd_matches(drop, cmd, default="") and \
                _file_matches(drop, arg):
            self.close()
            return
        if self.state.fault("ftp_relative_only") and arg.startswith("/") and \
                cmd in ("STOR", "APPE", "RETR", "SIZE", "NLST", "LIST", "DELE", "MDTM"):
            # As a server that takes names only in its current folder.
            self.respond("550 Absolute paths are not allowed.")
            return
        delay = self._emu_delay(cmd, arg)
        if delay:
            self.call_later(delay, self._emu_resume, line, cmd, arg)
            return
        self._emu_resume(line, cmd, arg)

    def _emu_resume(self, line, cmd, arg):
        if self._closed:
            return
        super().pre_process_command(line, cmd, arg)
        hangup = self.state.fault("ftp_hangup")
        if hangup and not self._closed and \
                _cmd_matches(hangup, cmd, default="") and \
                _file_matches(hangup, arg):
            # As a server's idle or session limit does: a 421, then the
            # connection closed, between two commands.
            self.respond("421 Session closed by the server.")
            self.close_when_done()

    def ftp_STOR(self, file, mode="w"):
        rule = self.state.fault("ftp_fail_stor")
        if rule and _file_matches(rule, file):
            code = int(rule.get("code", 553))
            self.respond("%d Requested action not taken." % code)
            return None
        return super().ftp_STOR(file, mode)

    def emu_transfer(self, upload, path, nbytes, complete):
        self.state.record_transfer(upload, self.emu_session, self.username,
                                   path, nbytes, complete)


class FtpService:
    """Runs the FTP server's IO loop on a thread of its own."""

    def __init__(self, state, passive_ports=None):
        handler = type("BoundFTPHandler", (EmuFTPHandler,), {})
        handler.state = state
        handler.authorizer = Authorizer(state)
        handler.passive_ports = passive_ports
        self.ioloop = IOLoop()
        self.server = FTPServer(("127.0.0.1", 0), handler, ioloop=self.ioloop)
        self.port = self.server.address[1]
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, name="ftp",
                                        daemon=True)

    def start(self):
        self._thread.start()

    def _run(self):
        wait = 0.05
        try:
            while not self._stop.is_set():
                # The loop itself, not serve_forever, which drops the time to
                # the next scheduled call. Wake in time for it (a delayed
                # reply, the simulated link); never pass 0, which the poller
                # takes as "wait forever".
                nxt = self.ioloop.loop(wait, blocking=False)
                wait = 0.05 if nxt is None else min(0.05, max(0.0005, nxt))
        finally:
            self.server.close_all()

    def stop(self, timeout=2.0):
        self._stop.set()
        self._thread.join(timeout)
