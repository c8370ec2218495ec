"""The parallel print demonstration: what reaches the real standard output, and the streams after."""
import platform
import sys

import joblib
import pytest

from conftest import run_module, run_python

HEAD = [
    platform.platform(),
    "Python " + sys.version,
    "joblib " + joblib.__version__,
    "Before redirect: sys.stderr.fileno() =  2",
    "After redirect: sys.stderr.fileno() =  -1",
]


def check_demo_output(out):
    lines = out.splitlines()
    assert lines[:5] == HEAD
    # The jobs print with no lock of the program's: the pieces of their lines (the text, a blank,
    # the number, the newline) may interleave, each piece whole, and every job ends with its newline.
    jobs = "".join(line + "\n" for line in lines[5:15])
    assert jobs.count("This is thread") == 10, jobs
    assert sorted(jobs.replace("This is thread", "")) == sorted(" " * 10 + "0123456789" + "\n" * 10), jobs
    return lines[15:]


@pytest.mark.parametrize("how", ["main program", "import"])
def test_demo_runs_in_full_on_every_load(how):
    # The redirect lines reach the real standard output whole and once each, the job lines are
    # whole lines after them, and the process ends by itself.
    if how == "main program":
        r = run_module("demos.parallel_print_demo", timeout=60)
    else:
        r = run_python("import demos.parallel_print_demo", timeout=60)
    assert r.returncode == 0, r.stderr
    assert check_demo_output(r.stdout) == []
    assert r.stderr == ""


def test_streams_after_the_load():
    r = run_python(r'''
import sys, threading
import demos.parallel_print_demo as d
print("results:", d._ == [None] * 10, d.nthread, list(d.processes))
print("stdout is real:", sys.stdout is sys.__stdout__, "stderr is singleton:", sys.stderr is d.XStream._stderr)
sys.stderr.write("<err>")
t = threading.Thread(target=lambda: sys.stderr.write("<thread err>"))
t.start(); t.join()
sys.stdout.write("\n")
print("print2:", d.print2("ignored"), d.print2(text=None))
''', timeout=60)
    assert r.returncode == 0, r.stderr
    rest = check_demo_output(r.stdout)
    assert rest == ["results: True 5 [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]",
                    "stdout is real: True stderr is singleton: True",
                    # error text goes to the real standard output unchanged, from any thread
                    "<err><thread err>",
                    "print2: None None"]
    assert r.stderr == ""


def test_stream_class_contract():
    r = run_python(r'''
import sys, io
import demos.parallel_print_demo as d
X = d.XStream
out, err = X._stdout, X._stderr
print(X.__doc__ == " Redirect stdout/stderr stream in PyQt ", d.print1.__doc__, "|", d.print2.__doc__, sep="")
print([k for k in vars(X) if not k.startswith("__")])
print(out is not err, X.stdout() is out, X.stderr() is err, out.stdout() is out)
# a later request never installs the singleton again
print(sys.stdout is sys.__stdout__)

class Sub(X):
    pass
print(Sub.stdout() is out, type(out) is X, out.parent() is None)

got = []
s = X()
s.messageWritten.connect(got.append)
print(s.write("a"), s.write(""), s.write(42), s.write(msg="kw"), s.flush(), s.fileno(), err.fileno())
s.blockSignals(True); s.write("dropped"); s.blockSignals(False); s.write("b")
class Shout(str):
    def __str__(self):
        return self.upper()
s.write(Shout("up"))  # the interpreter's str() of the argument, even for a text subclass
print(got)
for bad in [lambda: s.write(), lambda: s.write("a", "b"), lambda: s.write(text="a"),
            lambda: s.fileno(1), lambda: X.stdout(s)]:
    try:
        bad()
    except TypeError:
        print("TypeError", end=" ")
print()
''', timeout=60)
    assert r.returncode == 0, r.stderr
    assert check_demo_output(r.stdout) == [
        "True Restore the system default sys.stdout | Redirect print to a Qt widget ",
        "['_stdout', '_stderr', 'messageWritten', 'flush', 'fileno', 'write', 'stdout', 'stderr']",
        "True True True True",
        "True",
        "True True True",
        "None None None None None -1 -1",
        "['a', '', '42', 'kw', 'b', 'UP']",
        "TypeError TypeError TypeError TypeError TypeError ",
    ]


def test_failing_job_lets_the_process_end_cleanly():
    # Job 0 fails while the others still wait for their turn inside the module's code; the caller
    # catches the error. Every job thread has finished by then: nothing is printed after the
    # error, and the process ends normally (it used to crash at exit, most runs).
    code = r'''
import builtins, time
real = builtins.print
def failing_print(*args, **kw):
    if args[:1] == ("This is thread",):
        if args[1] == 0:
            raise RuntimeError("job 0 failed")
        time.sleep(0.05)
    real(*args, **kw)
builtins.print = failing_print
try:
    import demos.parallel_print_demo
except RuntimeError as e:
    real("caught:", e)
'''
    for _ in range(3):
        r = run_python(code, timeout=60)
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines()[-1] == "caught: job 0 failed"


def test_line_printed_at_exit_while_a_daemon_job_was_ended_printing():
    # A job on a daemon thread is inside print when the interpreter ends it for good; a finalizer's
    # job, run as the modules are torn down, still prints its line, and the process ends.
    r = run_python(r'''
import builtins, sys, threading, time, types
import demos.parallel_print_demo as d
printing = threading.Event()
def slow_print(*args, real=builtins.print, sys=sys, time=time, **kw):
    if args == ("This is thread", "daemon"):
        printing.set()
        while not sys.is_finalizing(): time.sleep(0.01)
    real(*args, **kw)
builtins.print = slow_print
class Last:
    def __del__(self, test=d.test):
        test("finalizer")
holder = types.ModuleType("holder"); holder.last = Last(); sys.modules["holder"] = holder
threading.Thread(target=d.test, args=("daemon",), daemon=True).start()
printing.wait()
''', timeout=20)
    assert r.returncode == 0, r.stderr
    assert check_demo_output(r.stdout) == ["This is thread finalizer"]


def test_signal_handler_prints_while_the_main_thread_prints():
    # The handler runs inside the main thread's print of test and calls test itself: it prints its
    # line at once (it used to wait for ever for a line lock its own thread held), then the
    # interrupted line goes on.
    r = run_python(r'''
import builtins, signal
import demos.parallel_print_demo as d
real = builtins.print
def printing(*args, **kw):
    if args == ("This is thread", "main"):
        signal.raise_signal(signal.SIGUSR1)
    real(*args, **kw)
builtins.print = printing
signal.signal(signal.SIGUSR1, lambda *_: d.test("handler"))
d.test("main")
''', timeout=20)
    assert r.returncode == 0, r.stderr
    assert check_demo_output(r.stdout) == ["This is thread handler", "This is thread main"]
