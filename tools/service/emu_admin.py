"""Loopback JSON API through which tests set up the service and read what
it saw."""

import json
from http.server import BaseHTTPRequestHandler

from emu_state import decode_content


class AdminHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NimbrelAdmin/1.0"
    timeout = 10

    def log_message(self, fmt, *args):
        if self.server.verbose:
            super().log_message(fmt, *args)

    def _send(self, status, obj):
        data = (json.dumps(obj) + "\n").encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length else b""
        if not raw.strip():
            return {}
        body = json.loads(raw.decode("utf-8"))
        if not isinstance(body, dict):
            raise ValueError("body must be a JSON object")
        return body

    def do_GET(self):
        state = self.server.state
        if self.path == "/state":
            return self._send(200, state.snapshot())
        if self.path == "/counts":
            return self._send(200, state.counts())
        if self.path == "/ping":
            return self._send(200, {"ok": True})
        return self._send(404, {"error": "no such resource: " + self.path})

    def do_POST(self):
        try:
            body = self._body()
            result = self._post(self.path, body)
        except (ValueError, KeyError, TypeError) as err:
            # KeyError carries only the key name; say what was missing.
            msg = "missing field %s" % err if isinstance(err, KeyError) \
                else str(err)
            return self._send(400, {"error": msg})
        if result is None:
            return self._send(404, {"error": "no such resource: " + self.path})
        return self._send(200, result)

    def _post(self, path, body):
        state = self.server.state
        if path == "/author":
            state.add_author(str(body["author"]), str(body["password"]),
                             body.get("source_dir"))
            return {"ok": True}
        if path == "/pending":
            return state.add_pending(str(body["author"]), str(body["name"]),
                                     decode_content(body),
                                     body.get("fileid"),
                                     store=body.get("store", True),
                                     listed=body.get("listed", True))
        if path == "/file":
            local = state.put_file(str(body["path"]), decode_content(body))
            return {"ok": True, "local_path": local}
        if path == "/fault":
            state.set_faults(body)
            return {"ok": True, "faults": state.snapshot()["faults"]}
        if path == "/fault/clear":
            state.clear_faults()
            return {"ok": True}
        if path == "/rtt":
            state.set_rtt(body["ms"])
            return {"ok": True, "rtt_ms": state.rtt * 1000.0}
        if path == "/extensions":
            state.set_extensions(str(body["extensions"]))
            return {"ok": True}
        if path == "/clear":
            state.clear_records()
            return {"ok": True}
        if path == "/reset":
            state.reset()
            return {"ok": True}
        return None
