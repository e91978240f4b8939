"""Everything the emulated service knows and records, behind one lock.

The web threads, the FTP loop thread and the admin API all read and write
this object; every public method takes the lock, so callers never do.
"""

import base64
import copy
import os
import shutil
import threading
import time

UPLOAD_DIR_NAME = "nimbreluploads"
DEFAULT_EXTENSIONS = "dss, wav, rtf, doc, mp3"

# Keys accepted by POST /fault; a null value clears a key.
FAULT_KEYS = {
    "notify_refuse",   # true (all) or a list of file names
    "list_body",       # text served verbatim by the download-list script
    "http_delay",      # {"ms": N, "path": "/nimbrel/x.php" or absent for all}
    "http_status",     # {"status": N, "body": "...", "path": optional}
    "http_drip",       # {"ms": N, "path": optional}: the body one byte every N ms
    "ftp_refuse_login",  # true: every login gets 530
    "ftp_cut",         # {"after": N, "cmd": "STOR"|"RETR"|"*", "file": optional,
                       #  "mode": "close" (default) | "stall" | "drip",
                       #  "bytes_per_s": N for "drip" (default 2)}
    "ftp_delay",       # {"ms": N, "cmd": "CONNECT"|"USER"|...|"*", "file": optional}
    "ftp_fail_stor",   # {"file": name or absent for all, "code": 550|553}
    "ftp_drop",        # {"cmd": "STOR"...}: close the control connection, no reply
    "ftp_hangup",      # {"cmd": "SIZE"..., "file": optional}: after the reply, 421 and close
    "ftp_relative_only",  # true: a file command with an absolute path gets 550
}

DICT_FAULTS = {"http_delay", "http_status", "http_drip", "ftp_cut", "ftp_delay",
               "ftp_fail_stor", "ftp_drop", "ftp_hangup"}


class ServiceState:
    def __init__(self, data_dir, top_dir, rtt_ms=0):
        self.lock = threading.Lock()
        # The simulated link's round trip in seconds: what the service sends
        # leaves this long after it was produced. Read without the lock (one
        # float); kept through a reset, like the ports.
        self.rtt = max(0, rtt_ms) / 1000.0
        # Set on shutdown so that delayed answers stop waiting at once.
        self.stopping = threading.Event()
        self.data_dir = os.path.abspath(data_dir)
        self.ftp_root = os.path.join(self.data_dir, "ftp")
        self.top_dir = top_dir
        self.upload_dir_remote = "/%s/%s/" % (top_dir, UPLOAD_DIR_NAME)
        self.upload_dir_local = os.path.join(self.ftp_root, top_dir,
                                             UPLOAD_DIR_NAME)
        self._reset_locked(wipe_files=False)

    # --- setup -----------------------------------------------------------

    def _reset_locked(self, wipe_files):
        if wipe_files and os.path.isdir(self.ftp_root):
            shutil.rmtree(self.ftp_root)
        os.makedirs(self.upload_dir_local, exist_ok=True)
        os.makedirs(os.path.join(self.ftp_root, "downloads"), exist_ok=True)
        self.authors = {}          # author -> password
        self.source_dirs = {}      # author -> remote directory of pending files
        self.pending = {}          # author -> [{"name", "fileid"}]
        self.extensions = DEFAULT_EXTENSIONS
        self.faults = {}
        self._next_fileid = 1000
        self._clear_records_locked()

    def _clear_records_locked(self):
        self.seq = 0
        self.web_requests = []
        self.notifications = []
        self.confirmations = []
        self.ftp_logins = []
        self.ftp_commands = []
        self.uploads = []
        self.downloads = []
        self.web_connections = []

    def reset(self):
        with self.lock:
            self._reset_locked(wipe_files=True)

    def clear_records(self):
        with self.lock:
            self._clear_records_locked()

    def _record(self, table, entry):
        # One sequence across all tables, so tests can check the order of
        # web and FTP events (an upload before its notification, say).
        self.seq += 1
        entry["seq"] = self.seq
        # Seconds on the monotonic clock: benchmarks time a client by what the
        # service saw, the same way whatever the client is.
        entry["t"] = time.monotonic()
        table.append(entry)
        return entry

    # --- authors, pending files, settings --------------------------------

    def add_author(self, author, password, source_dir=None):
        with self.lock:
            self.authors[author] = password
            self.source_dirs[author] = source_dir or "/downloads/" + author
            self.pending.setdefault(author, [])

    def source_dir(self, author):
        return self.source_dirs.get(author, "/downloads/" + author)

    def local_path(self, remote_path):
        rel = os.path.normpath("/" + remote_path).lstrip("/")
        return os.path.join(self.ftp_root, rel)

    def put_file(self, remote_path, content):
        path = self.local_path(remote_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def add_pending(self, author, name, content, fileid=None, store=True,
                    listed=True):
        with self.lock:
            if fileid is None or fileid == "":
                self._next_fileid += 1
                fileid = str(self._next_fileid)
            remote = self.source_dir(author).rstrip("/") + "/" + name
            if store:
                self.put_file(remote, content)
            if listed:
                self.pending.setdefault(author, []).append(
                    {"name": name, "fileid": str(fileid)})
            return {"fileid": str(fileid), "path": remote,
                    "local_path": self.local_path(remote)}

    def set_extensions(self, text):
        with self.lock:
            self.extensions = text

    def set_faults(self, changes):
        unknown = [k for k in changes if k not in FAULT_KEYS]
        if unknown:
            raise ValueError("unknown fault keys: " + ", ".join(sorted(unknown)))
        for key, value in changes.items():
            if value is None or value is False:
                continue
            if key in DICT_FAULTS and not isinstance(value, dict):
                raise ValueError("fault %s takes an object" % key)
            if key == "list_body" and not isinstance(value, str):
                raise ValueError("fault list_body takes a text")
            if key == "notify_refuse" and value is not True and \
                    not isinstance(value, list):
                raise ValueError("fault notify_refuse takes true or a list")
        with self.lock:
            for key, value in changes.items():
                if value is None or value is False:
                    self.faults.pop(key, None)
                else:
                    self.faults[key] = value

    def clear_faults(self):
        with self.lock:
            self.faults = {}

    def fault(self, key):
        with self.lock:
            return copy.deepcopy(self.faults.get(key))

    # --- the web scripts' view --------------------------------------------

    def set_rtt(self, ms):
        if not isinstance(ms, (int, float)) or ms < 0 or ms > 10000:
            raise ValueError("rtt ms must be a number from 0 to 10000")
        self.rtt = ms / 1000.0

    def record_connection(self, scheme):
        """A new TCP connection to the web host; its number within the scheme."""
        with self.lock:
            number = 1 + sum(1 for c in self.web_connections
                             if c["scheme"] == scheme)
            self._record(self.web_connections, {"scheme": scheme,
                                                "connection": number})
            return number

    def record_web(self, entry):
        with self.lock:
            return self._record(self.web_requests, entry)

    def check_login(self, author, password):
        with self.lock:
            return author in self.authors and self.authors[author] == password

    def notify(self, author, file, length):
        with self.lock:
            refuse = self.faults.get("notify_refuse")
            by_fault = refuse is True or (isinstance(refuse, list)
                                          and file in refuse)
            known = author in self.authors
            present = os.path.isfile(os.path.join(self.upload_dir_local, file))
            accepted = known and not by_fault
            self._record(self.notifications, {
                "author": author, "file": file, "length": length,
                "accepted": accepted, "author_known": known,
                "refused_by_fault": by_fault,
                "file_present": present})
            return accepted

    def download_list(self, author):
        with self.lock:
            return self.source_dir(author), list(self.pending.get(author, []))

    def confirm(self, author, password, fileid):
        with self.lock:
            valid = author in self.authors and self.authors[author] == password
            removed = False
            if valid:
                items = self.pending.get(author, [])
                kept = [i for i in items if i["fileid"] != fileid]
                removed = len(kept) != len(items)
                self.pending[author] = kept
            self._record(self.confirmations, {
                "author": author, "password": password, "fileid": fileid,
                "valid_login": valid, "removed": removed})

    def extension_list(self):
        with self.lock:
            return self.extensions

    # --- the FTP server's view ---------------------------------------------

    def record_login(self, session, user, ok, reason=""):
        with self.lock:
            self._record(self.ftp_logins, {"session": session, "user": user,
                                           "ok": ok, "reason": reason})

    def record_command(self, session, user, cmd, arg):
        with self.lock:
            self._record(self.ftp_commands, {"session": session, "user": user,
                                             "cmd": cmd, "arg": arg})

    def record_transfer(self, upload, session, user, local_path, nbytes,
                        complete):
        remote = "/" + os.path.relpath(local_path, self.ftp_root)
        size = os.path.getsize(local_path) if os.path.exists(local_path) else 0
        with self.lock:
            table = self.uploads if upload else self.downloads
            self._record(table, {"session": session, "user": user,
                                 "path": remote, "local_path": local_path,
                                 "bytes": nbytes, "size": size,
                                 "complete": complete})

    # --- admin ---------------------------------------------------------------

    def counts(self):
        """The length of each record list: a cheap poll while a client runs."""
        with self.lock:
            return {"web_requests": len(self.web_requests),
                    "notifications": len(self.notifications),
                    "confirmations": len(self.confirmations),
                    "ftp_logins": len(self.ftp_logins),
                    "web_connections": len(self.web_connections),
                    "uploads": len(self.uploads),
                    "downloads": len(self.downloads)}

    def snapshot(self):
        with self.lock:
            return copy.deepcopy({
                "web_requests": self.web_requests,
                "notifications": self.notifications,
                "confirmations": self.confirmations,
                "ftp_logins": self.ftp_logins,
                "ftp_commands": self.ftp_commands,
                "web_connections": self.web_connections,
                "uploads": self.uploads,
                "downloads": self.downloads,
                "authors": self.authors,
                "source_dirs": self.source_dirs,
                "pending": self.pending,
                "extensions": self.extensions,
                "faults": self.faults,
                "upload_dir": self.upload_dir_remote,
                "rtt_ms": self.rtt * 1000.0,
            })


def decode_content(body):
    """The bytes of a file given to the admin API as text or base64."""
    if "content_b64" in body:
        return base64.b64decode(body["content_b64"])
    return body.get("content", "").encode("utf-8")
