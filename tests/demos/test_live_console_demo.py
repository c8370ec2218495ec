"""The live console demonstration: log lines reach the window while the worker thread runs."""
from conftest import run_python
from demokit import main_program_driver

# A stand-in for the module's `time`: each pause of the job waits until the GUI thread shows the
# line logged just before it, so the job only goes on once that line is on screen.
GUI_HARNESS = r'''
import sys, threading, types
from qtpy.QtCore import QTimer
from qtpy.QtWidgets import QApplication, QTextEdit
import demos.live_console_demo as d

app = QApplication([])
state = {"shown": 0, "disabled_while_running": True, "late": []}
progress = threading.Condition()

def box(w):
    return w.findChild(QTextEdit)

def lines(w):
    text = box(w).toPlainText()
    return text.split("\n") if text else []

def watch(w):
    def tick():
        with progress:
            state["shown"] = len(lines(w))
            progress.notify_all()
        if w.bee.isRunning() and w.button.isEnabled():
            state["disabled_while_running"] = False
    timer = QTimer()
    timer.timeout.connect(tick)
    timer.start(5)
    return timer

def paced_sleep(seconds):
    assert seconds == 2
    with progress:
        wanted = state["logged"] = state.get("logged", 1) + 1
        if not progress.wait_for(lambda: state["shown"] >= wanted, timeout=20):
            state["late"].append(wanted)

d.time = types.SimpleNamespace(sleep=paced_sleep)

def run_job(w):
    with progress:
        state["shown"] = len(lines(w))
        state["logged"] = state["shown"] + 1  # "starting" comes before the first pause
    w.button.click()
    assert not w.button.isEnabled()
    done = []
    w.bee.finished.connect(lambda: done.append(1))
    while not (done and w.button.isEnabled()):
        app.processEvents()
        w.bee.wait(5)
    app.processEvents()
'''

JOB = ["starting"] + ["line%d" % i for i in range(10)]


def test_import_only_defines_the_names():
    r = run_python(r'''
import logging
from qtpy.QtCore import QObject, QThread
from qtpy.QtWidgets import QApplication, QWidget
import demos.live_console_demo as d
print(QApplication.instance() is None, d.logger is logging.getLogger("demos.live_console_demo"),
      d.logger.handlers, d.logger.level)
print(d.ConsoleWindowLogHandler.__bases__ == (logging.Handler, QObject),
      d.Window.__bases__ == (QWidget,), d.Worker.__bases__ == (QThread,))
h = d.ConsoleWindowLogHandler()
got = []
h.sigLog.connect(got.append)
rec = logging.LogRecord("x", logging.ERROR, "f", 1, "a=%d b=%s", (3, "z"), None)
class Shout(str):
    def __str__(self):
        return self.upper()
class ShoutRecord(logging.LogRecord):
    def getMessage(self):
        return Shout("loud")
print(h.level, h.parent() is None, h.emit(rec), h.emit(logRecord=ShoutRecord("x", 40, "f", 1, "", (), None)),
      got)
w = d.Worker(print, ("run", "args"))
print(w.func is print, w.args, hasattr(w, "terminated"))
w.run()
''')
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "True True [] 0",
        "True True True",
        "0 True None None ['a=3 b=z', 'LOUD']",
        "True ('run', 'args') True",
        "run args",
    ]


def test_each_line_shows_while_the_job_runs():
    r = run_python(GUI_HARNESS + r'''
w = d.Window(); w.show()
timer = watch(w)
print(len(d.logger.handlers), w.button.text(), box(w).isReadOnly())
run_job(w)
print(lines(w) == %r, state["late"], state["disabled_while_running"], w.button.isEnabled())
# the same worker runs again and the lines go below the earlier ones
run_job(w)
print(lines(w) == %r * 2, state["late"])
''' % (JOB, JOB))
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["1 Click True", "True [] True True", "True []"]


def test_every_window_shows_every_record():
    # Records from any thread reach every window built so far, bare and with arguments merged.
    r = run_python(GUI_HARNESS + r'''
first = d.Window(); first.show()
d.logger.error("from the GUI thread %s", "x")
second = d.Window(); second.show()
timer = watch(second)
t = threading.Thread(target=lambda: d.logger.error("from a thread %d", 7)); t.start(); t.join()
run_job(second)
app.processEvents()
print(len(d.logger.handlers))
print(lines(first))
print(lines(second))
''')
    assert r.returncode == 0, r.stderr
    out = r.stdout.splitlines()
    assert out[0] == "2"
    assert out[1] == str(["from the GUI thread x", "from a thread 7"] + JOB)
    assert out[2] == str(["from a thread 7"] + JOB)


def test_failing_job_is_reported_and_the_button_comes_back():
    r = run_python(GUI_HARNESS + r'''
def broken_sleep(seconds):
    raise RuntimeError("sleep failed")
d.time = types.SimpleNamespace(sleep=broken_sleep)
w = d.Window(); w.show()
ends = []
w.bee.terminated.connect(lambda: ends.append("terminated"))
w.bee.finished.connect(lambda: ends.append("finished"))
run_job(w)
print(lines(w), ends, w.button.isEnabled(), flush=True)
''')
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["['starting', 'line0'] ['terminated', 'finished'] True"]
    assert "RuntimeError: sleep failed" in r.stderr


def test_main_program_waits_for_a_running_job_when_the_window_closes():
    # The user clicks and closes the window at once: the loop ends, the job still runs to its end
    # before the process exits, with the loop's status and no complaint about a running thread.
    r = main_program_driver("demos.live_console_demo", "qtpy.QtWidgets", "QApplication", prelude=r'''
import logging, time
time.sleep = lambda seconds: None if seconds == 2 else (_ for _ in ()).throw(AssertionError(seconds))
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append(record.getMessage())
''', script=r'''
w = top_window(app)
logging.getLogger("__main__").addHandler(Keep())
print("handlers:", len(logging.getLogger("__main__").handlers))
w.button.click()
w.close()
''', epilogue=r'''
print(records == %r)
''' % JOB)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["handlers: 2", "exit status: 0", "True"]
    assert "QThread" not in r.stderr


def test_main_program_exits_with_the_loop_status():
    r = main_program_driver("demos.live_console_demo", "qtpy.QtWidgets", "QApplication",
                            script="app.exit(3)")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["exit status: 3"]
