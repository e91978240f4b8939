"""The service's web host (its PHP scripts), over HTTP and HTTPS."""

import re
import socket
import ssl
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

VALID = "Username Valid!"
INVALID = "Invalid Username or Password"


def parse_query(raw):
    """Pairs of the query in order, values percent-decoded.

    "+" stays "+": the agent sends values as it holds them (or
    percent-encoded), never form-encoded. As in PHP, a repeated key takes
    the last value, so a password holding "&wp=" behaves as on the real host.
    """
    pairs = []
    for part in raw.split("&") if raw else []:
        key, _, value = part.partition("=")
        pairs.append((urllib.parse.unquote(key), urllib.parse.unquote(value)))
    return pairs


def download_list_body(source_dir, items):
    lines = ["countoffiles = %d" % len(items), "SourceDir=%s" % source_dir]
    for n, item in enumerate(items, 1):
        lines.append('file_%d = "%s"' % (n, item["name"]))
        lines.append("fileid_%d = %s" % (n, item["fileid"]))
    return "".join(line + "<br>\r\n" for line in lines)


def _page(title, text):
    return ("<html><head><title>%s</title></head><body>%s</body></html>\n"
            % (title, text))


def _path_matches(rule, path):
    want = rule.get("path") if isinstance(rule, dict) else None
    return not want or want == "*" or want == path


class WebHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NimbrelWeb/1.0"
    timeout = 10  # idle keep-alive connections must not pin threads forever
    # Headers and body leave in two writes: with Nagle's algorithm the second would wait for
    # the client's delayed ACK, about 40 ms on every request of a kept connection. Web
    # servers send at once on kept connections.
    disable_nagle_algorithm = True

    def setup(self):
        self.connection_number = self.server.state.record_connection(
            self.server.scheme)
        ctx = self.server.ssl_context
        if ctx is not None:
            # Handshake here, in the connection's own thread, so a client
            # that stalls in TLS cannot block the accept loop.
            self.request.settimeout(self.timeout)
            if self.server.state.rtt > 0:
                # The server's flight answers the client's first: it leaves
                # a round trip after that arrived.
                try:
                    self.request.recv(1, socket.MSG_PEEK)
                except OSError:
                    pass
                self._hold_back()
            self.request = ctx.wrap_socket(self.request, server_side=True)
        super().setup()

    def _hold_back(self):
        """The simulated link's round trip; False when the emulator stops."""
        rtt = self.server.state.rtt
        return rtt <= 0 or not self.server.state.stopping.wait(rtt)

    def parse_request(self):
        # Accept raw blanks in the target: values may arrive unescaped.
        self.raw_target = None
        line = self.raw_requestline.decode("iso-8859-1").rstrip("\r\n")
        words = line.split(" ")
        if len(words) > 3 and words[-1].startswith("HTTP/"):
            self.raw_target = " ".join(words[1:-1])
            fixed = "%s %s %s\r\n" % (words[0],
                                      self.raw_target.replace(" ", "%20"),
                                      words[-1])
            self.raw_requestline = fixed.encode("iso-8859-1")
        elif len(words) >= 2:
            self.raw_target = words[1]
        return super().parse_request()

    def log_message(self, fmt, *args):
        if self.server.verbose:
            super().log_message(fmt, *args)

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    def _serve(self, head):
        state = self.server.state
        target = self.raw_target or self.path
        raw_path, _, raw_query = target.partition("?")
        path = re.sub("/+", "/", urllib.parse.unquote(raw_path)) or "/"
        pairs = parse_query(raw_query)
        query = dict(pairs)
        entry = state.record_web({
            "scheme": self.server.scheme, "method": self.command,
            "target": target, "path": path, "query": query,
            "params": [list(p) for p in pairs],
            "user_agent": self.headers.get("User-Agent", ""),
            "connection": self.connection_number})
        if not self._hold_back():
            return

        delay = state.fault("http_delay")
        if delay and _path_matches(delay, path):
            if state.stopping.wait(int(delay.get("ms", 0)) / 1000.0):
                return

        forced = state.fault("http_status")
        if forced and _path_matches(forced, path):
            status = int(forced.get("status", 500))
            body = forced.get("body", _page("Error", "Error %d" % status))
            ctype = "text/html"
        else:
            status, ctype, body = self._route(path, query)
        entry["status"] = status
        drip = state.fault("http_drip")
        if drip and _path_matches(drip, path) and not head:
            self._drip(status, ctype, body, int(drip.get("ms", 2000)) / 1000.0)
            return
        self._reply(status, ctype, body, head)

    def _drip(self, status, ctype, body, every):
        """The headers at once, then the body a byte at a time: a host that
        never stops answering, yet never finishes."""
        data = body.encode("utf-8") if isinstance(body, str) else body
        try:
            self.send_response(status)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.flush()
            for i in range(len(data)):
                if self.server.state.stopping.wait(every):
                    break
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass
        self.close_connection = True

    def _route(self, path, q):
        state = self.server.state
        html = "text/html"
        if path == "/":
            return 200, html, _page("Nimbrel", "Nimbrel document service")
        if path in ("/nimbrel/authorverify.php", "/nimbrel/authverify.php"):
            ok = state.check_login(q.get("username", ""), q.get("wp", ""))
            return 200, html, _page("Login", VALID if ok else INVALID)
        if path == "/nimbrel/copywav.php":
            ok = state.notify(q.get("username", ""), q.get("file", ""),
                              q.get("length", ""))
            return 200, html, _page("Upload", VALID if ok else INVALID)
        if path == "/nimbrel/orbidexdload.php":
            verbatim = state.fault("list_body")
            if verbatim is not None:
                return 200, html, verbatim
            author = q.get("author", "")
            if not state.check_login(author, q.get("nbupw", "")):
                return 200, html, _page("Download", INVALID)
            source_dir, items = state.download_list(author)
            return 200, html, download_list_body(source_dir, items)
        if path == "/nimbrel/nbdlsuccess.php":
            state.confirm(q.get("username", ""), q.get("nbupw", ""),
                          q.get("fileid", ""))
            return 200, html, _page("Download", "Thank you")
        if path == "/nimbrel/extverify.php":
            return 200, "text/plain", state.extension_list()
        return 404, html, _page("404 Not Found", "Not Found")

    def _reply(self, status, ctype, body, head):
        data = body.encode("utf-8") if isinstance(body, str) else body
        try:
            self.send_response(status)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if not head:
                self.wfile.write(data)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


class WebServer(ThreadingHTTPServer):
    daemon_threads = True
    # Stopping must not wait for idle keep-alive connections.
    block_on_close = False

    def __init__(self, state, scheme, ssl_context=None, verbose=False,
                 handler=WebHandler):
        self.state = state
        self.scheme = scheme
        self.ssl_context = ssl_context
        self.verbose = verbose
        super().__init__(("127.0.0.1", 0), handler)

    def handle_error(self, request, client_address):
        # Clients that hang up or fail the TLS handshake are expected in
        # fault tests; tracebacks only with --verbose.
        if self.verbose:
            super().handle_error(request, client_address)


def make_ssl_context(cert_file, key_file):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert_file, key_file)
    return ctx

