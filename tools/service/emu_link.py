"""The simulated link of the FTP host (--rtt): what the server sends leaves one
round trip after it was produced, while the server goes on as the far end of a
real link does. Mixins for pyftpdlib's control and data channels; both read
the round trip from the service state (`state.rtt`, seconds)."""

import collections
import time


class DelayedReplies:
    """The control channel: the greeting and every reply, in order."""

    emu_next_reply_due_now = False
    _emu_out = None

    def push(self, s):
        rtt = self.state.rtt
        out = self._emu_out
        if rtt <= 0 and not out:
            return super().push(s)
        if out is None:
            out = self._emu_out = collections.deque()
        due = time.monotonic() + (0 if self.emu_next_reply_due_now else rtt)
        self.emu_next_reply_due_now = False
        if out:
            due = max(due, out[-1][0])
        out.append((due, s))
        if len(out) == 1:
            self.call_later(max(0.0, due - time.monotonic()), self._emu_flush)

    def _emu_flush(self):
        out = self._emu_out
        while out and out[0][0] <= time.monotonic() + 0.0005:
            item = out.popleft()[1]
            if self._closed:
                out.clear()
                return
            if item is None:
                super().close_when_done()
            else:
                super().push(item)
        if out:
            self.call_later(max(0.0, out[0][0] - time.monotonic()),
                            self._emu_flush)

    def close_when_done(self):
        out = self._emu_out
        if out:
            out.append((out[-1][0], None))
        else:
            super().close_when_done()


class DelayedData:
    """The data channel: its first bytes, and behind them all that follows."""

    _emu_held = None  # what the link holds back: [(method, args)]
    _emu_was_held = False

    def _emu_hold(self, method, *args):
        rtt = self.cmd_channel.state.rtt
        if self._emu_held is None and (rtt <= 0 or self._emu_was_held):
            return False
        if self._emu_held is None:
            self._emu_held, self._emu_was_held = [], True
            self.cmd_channel.call_later(rtt, self._emu_release)
        self._emu_held.append((method, args))
        return True

    def _emu_release(self):
        held, self._emu_held = self._emu_held or [], None
        for method, args in held:
            if self._closed:
                return
            method(*args)

    def push(self, data):
        if not self._emu_hold(super().push, data):
            super().push(data)

    def push_with_producer(self, producer):
        if not self._emu_hold(super().push_with_producer, producer):
            super().push_with_producer(producer)

    def close_when_done(self):
        if not self._emu_hold(super().close_when_done):
            super().close_when_done()
