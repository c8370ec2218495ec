"""Console streams and the log handler: text and records re-emitted as Qt signals."""
import json
import logging
import threading

import pytest
from qtpy.QtCore import QObject, Qt, Slot

from conftest import run_python
from dorar.utils import signal_pipe as sp

# Prelude of the subprocess checks: the streams' output must not go through the process's own
# stdout once it is replaced, so results are written to the interpreter's original stream.
PRELUDE = (
    "import json, logging, sys\n"
    "from qtpy.QtWidgets import QApplication\n"
    "app = QApplication([])\n"
    "from dorar.utils.signal_pipe import XStream, QtHandler, SignalPipe\n"
    "original = sys.stdout\n"
    "def report(*values):\n"
    "    sys.__stdout__.write(json.dumps(values) + '\\n')\n"
    "    sys.__stdout__.flush()\n")


def run(code):
    r = run_python(PRELUDE + code)
    assert r.returncode == 0, r.stderr
    return [json.loads(line) for line in r.stdout.splitlines()]


def test_load_defines_the_three_classes_and_installs_nothing():
    (names, order, state), = run(
        "import dorar.utils.signal_pipe as m\n"
        "report(sorted(n for n in vars(m) if not n.startswith('__')),\n"
        "       [n for n in vars(XStream) if not n.startswith('__')],\n"
        "       [XStream._stdout is None, XStream._stderr is None, sys.stdout is original,\n"
        "        sys.stderr is sys.__stderr__, issubclass(QtHandler, logging.Handler)])\n")
    assert names == sorted(["sys", "logging", "QObject", "Signal", "SignalPipe", "XStream", "QtHandler"])
    assert order == ["_stdout", "_stderr", "messageWritten", "flush", "fileno", "write", "stdout", "stderr"]
    assert state == [True] * 5
    r = run_python("import sys; sys.modules['qtpy.QtCore'] = None\nimport dorar.utils.signal_pipe")
    assert r.returncode != 0 and "ModuleNotFoundError: import of qtpy.QtCore halted" in r.stderr


def test_singletons_are_made_once_and_installed_only_by_the_first_request():
    out = run(
        "got = []\n"
        "out = XStream.stdout()\n"
        "out.messageWritten.connect(got.append)\n"
        "print('hello', 42)\n"
        "sys.stdout.write(''); sys.stdout.write(42)\n"
        "first = [sys.stdout is out, XStream.stdout() is out, out.stdout() is out]\n"
        "class Sub(XStream): pass\n"
        "first += [Sub.stdout() is out, type(Sub.stderr()) is XStream]\n"
        "err = XStream.stderr()\n"
        "first += [sys.stderr is err, err is not out, XStream._stderr is err, out.parent() is None]\n"
        "first += [out.fileno(), err.fileno(), out.flush(), err.flush(), out.write('x')]\n"
        "report(first, got)\n"
        "replacement = SignalPipe()\n"
        "sys.stdout = replacement\n"
        "report(XStream.stdout() is out, sys.stdout is replacement)\n")
    assert out[0][0] == [True] * 9 + [-1, -1, None, None, None]
    # print writes the items, the separator and the line end one by one: each is one emission
    assert out[0][1] == ["hello", " ", "42", "\n", "", "42", "x"]
    assert out[1] == [True, True]


def test_first_requests_racing_on_many_threads_make_one_singleton():
    (same, installed), = run(
        "import threading\n"
        "sys.setswitchinterval(1e-6)\n"
        "start = threading.Barrier(16)\n"
        "seen = []\n"
        "def ask():\n"
        "    start.wait()\n"
        "    seen.append(XStream.stdout())\n"
        "threads = [threading.Thread(target=ask) for _ in range(16)]\n"
        "[t.start() for t in threads]; [t.join() for t in threads]\n"
        "report(len(set(map(id, seen))), sys.stdout is seen[0] is XStream._stdout)\n")
    assert same == 1 and installed is True


@pytest.mark.forks_with_threads
def test_child_forked_while_a_thread_makes_the_singleton_makes_its_own():
    (child,), = run(
        "import os, threading, time\n"
        "making = threading.Event()\n"
        "def slow_init(self):\n"
        "    making.set(); time.sleep(0.5); QObject.__init__(self)\n"
        "from qtpy.QtCore import QObject\n"
        "XStream.__init__ = slow_init\n"
        "threading.Thread(target=XStream.stderr).start()\n"
        "making.wait()\n"
        "pid = os.fork()\n"
        "if pid == 0:\n"
        "    del XStream.__init__\n"
        "    os._exit(0 if XStream.stdout() is sys.stdout else 1)\n"
        "deadline = time.monotonic() + 10\n"
        "while time.monotonic() < deadline:\n"
        "    done, status = os.waitpid(pid, os.WNOHANG)\n"
        "    if done:\n"
        "        report(os.waitstatus_to_exitcode(status)); break\n"
        "    time.sleep(0.01)\n"
        "else:\n"
        "    os.kill(pid, 9); os.waitpid(pid, 0); report('hung')\n")
    assert child == 0


@pytest.mark.parametrize("which", ["stdout", "stderr"])
def test_request_at_exit_while_a_daemon_thread_was_ended_making_the_singleton(which):
    # The daemon thread is inside the creation when the interpreter ends it for good; a finalizer
    # then asks for the same singleton and gets one, installed, and the process ends.
    r = run_python(PRELUDE + (
        "import os, threading, time, types\n"
        "making = threading.Event()\n"
        "def slow_init(self, sys=sys, time=time, base=XStream.__mro__[1]):\n"
        "    making.set()\n"
        "    while not sys.is_finalizing(): time.sleep(0.01)\n"
        "    base.__init__(self)\n"
        "XStream.__init__ = slow_init\n"
        "class Last:\n"
        "    def __del__(self, X=XStream, sys=sys, write=os.write, which=%r):\n"
        "        s = getattr(X, which)()\n"
        "        write(1, repr([s is getattr(X, '_' + which) is getattr(sys, which), type(s) is X]).encode())\n"
        "sys.modules['holder'] = types.ModuleType('holder')\n"
        "sys.modules['holder'].last = Last()  # dropped as the interpreter finalizes\n"
        "threading.Thread(target=getattr(XStream, %r), daemon=True).start()\n"
        "making.wait()\n") % (which, which), timeout=15)
    assert (r.returncode, r.stdout) == (0, "[True, True]"), r.stderr


def test_handler_writes_each_non_empty_record_and_one_line_feed():
    out = run(
        "log = logging.getLogger('console'); log.propagate = False; log.setLevel(logging.DEBUG)\n"
        "handler = QtHandler(); log.addHandler(handler)\n"
        "log.warning('abc')  # the first record installs the output stream\n"
        "out = XStream._stdout\n"
        "report(sys.stdout is out, handler.level, handler.formatter is None, handler.filters)\n"
        "got = []\n"
        "out.messageWritten.connect(got.append)\n"
        "log.warning('abc'); log.warning(''); log.warning('two\\n'); log.info('%s and %d', 'x', 3)\n"
        "handler.setFormatter(logging.Formatter('%(levelname)s:%(message)s'))\n"
        "log.error('fmt')\n"
        "try:\n"
        "    1 / 0\n"
        "except ZeroDivisionError:\n"
        "    log.exception('failed')\n"
        "report(got[:4], got[4].startswith('ERROR:failed\\nTraceback'), got[4].endswith('division by zero\\n'),\n"
        "       len(got))\n"
        "del got[:]\n"
        "sys.stdout = SignalPipe()  # records keep going to the output singleton\n"
        "log.error('still'); print('to the replacement')\n"
        "report(got)\n")
    assert out[0] == [True, 0, True, []]
    got, trace_head, trace_tail, count = out[1]
    assert got[:4] == ["abc\n", "two\n\n", "x and 3\n", "ERROR:fmt\n"] and trace_head and trace_tail
    assert count == 5  # the traceback went out in the same single write
    assert out[2] == [["ERROR:still\n"]]


def test_blocked_output_drops_printed_text_and_records_for_good():
    (got, after), = run(
        "log = logging.getLogger('console'); log.propagate = False; log.addHandler(QtHandler())\n"
        "out = XStream.stdout(); got = []\n"
        "out.messageWritten.connect(got.append)\n"
        "out.blockSignals(True)\n"
        "print('hidden'); log.warning('hidden record')\n"
        "blocked = list(got)\n"
        "out.blockSignals(False)\n"
        "print('seen', end='')\n"
        "report(blocked, got)\n")
    assert got == [] and after == ["seen", ""]  # the text, then print's empty end


def test_format_errors_leave_emit_for_the_caller():
    r = run_python(PRELUDE + (
        "log = logging.getLogger('console'); log.propagate = False; log.addHandler(QtHandler())\n"
        "try:\n"
        "    log.warning('%d items', 'many')\n"
        "except TypeError as exc:\n"
        "    report('raised', str(exc))\n"))
    assert r.returncode == 0, r.stderr
    assert json.loads(r.stdout)[0] == "raised" and "Logging error" not in r.stderr


# -- in this process: plain stream objects, never the singletons ---------------------------------

def test_argument_names_and_counts_are_those_of_the_interface():
    stream, pipe = sp.XStream(), sp.SignalPipe()
    got = []
    stream.messageWritten.connect(got.append)
    pipe.textWritten.connect(got.append)
    class Shout(str):
        def __str__(self):
            return self.upper()

    assert stream.write(msg=1.5) is None and pipe.write(text=None) is None
    stream.write(Shout("a")), pipe.write(Shout("b"))
    assert got == ["1.5", "None", "A", "B"]
    for call in (lambda: stream.write("a", "b"), lambda: stream.write(text="a"), lambda: pipe.write(msg="a"),
                 lambda: pipe.write(), lambda: stream.fileno(1), lambda: sp.QtHandler(logging.INFO),
                 lambda: sp.XStream.stdout(1)):
        with pytest.raises(TypeError):
            call()
    assert not hasattr(pipe, "fileno") and pipe.flush() is None and len(got) == 4


def write_from_threads(write, threads=8, count=300):
    """Each thread writes its own numbered texts; returns the texts each thread wrote."""
    texts = [["t%d-%d%s" % (t, i, "\n" if i % 3 else "") for i in range(count)] for t in range(threads)]
    start = threading.Barrier(threads)

    def work(mine):
        start.wait()
        for text in mine:
            write(text)

    workers = [threading.Thread(target=work, args=(mine,)) for mine in texts]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return texts


@pytest.mark.parametrize("kind", ["XStream", "SignalPipe"])
def test_texts_from_many_threads_arrive_unchanged_once_each(kind):
    stream = getattr(sp, kind)()
    signal = stream.messageWritten if kind == "XStream" else stream.textWritten
    got = []
    lock = threading.Lock()

    def collect(text):
        with lock:
            got.append((threading.get_ident(), text))

    signal.connect(collect, Qt.DirectConnection)  # the receiver runs on the writing thread
    texts = write_from_threads(stream.write)
    assert sorted(t for _, t in got) == sorted(sum(texts, []))
    by_thread = {}
    for ident, text in got:
        by_thread.setdefault(ident, []).append(text)
    assert sorted(by_thread.values()) == sorted(texts)  # each writer's texts keep their order


class Receiver(QObject):
    def __init__(self):
        super().__init__()
        self.texts = []
        self.threads = set()

    @Slot(str)
    def take(self, text):
        self.texts.append(text)
        self.threads.add(threading.get_ident())


def test_queued_texts_reach_a_receiver_on_the_gui_thread(qtbot):
    stream, receiver = sp.XStream(), Receiver()
    stream.messageWritten.connect(receiver.take)  # automatic: queued for other threads
    texts = write_from_threads(stream.write, threads=4, count=100)
    qtbot.waitUntil(lambda: len(receiver.texts) == 400)
    assert receiver.threads == {threading.get_ident()}
    assert sorted(receiver.texts) == sorted(sum(texts, []))


def test_records_logged_on_many_threads_each_give_one_write(monkeypatch):
    stream, got = sp.XStream(), []
    stream.messageWritten.connect(got.append, Qt.DirectConnection)
    monkeypatch.setattr(sp.XStream, "_stdout", stream)  # the handler's output, without installing
    log = logging.getLogger("console.threads")
    log.propagate = False
    handler = sp.QtHandler()
    log.addHandler(handler)
    try:
        texts = write_from_threads(lambda text: log.warning(text.rstrip("\n")), threads=6, count=100)
    finally:
        log.removeHandler(handler)
    assert sorted(got) == sorted(t.rstrip("\n") + "\n" for t in sum(texts, []))
