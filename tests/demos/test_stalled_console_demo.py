"""The stalled console demonstration and the Qt 4 stand-in it runs on."""
from conftest import run_module, run_python
from demokit import main_program_driver

# The user clicks twice. The job's pause runs on the GUI thread, holding the event loop: while it
# lasts the text box already holds "line1".
TWO_CLICKS = r'''
import __main__ as demo
w = top_window(app)
assert w is demo.window and demo.logger.handlers == [demo.consoleHandler]
demo.button.click()
print("after first click:", repr(demo.textBox.toPlainText()))
demo.button.click()
demo.logger.error("merged %d and %s", 7, "x")
print(repr(demo.textBox.toPlainText()))
w.close()
'''

SLEEP_PROBE = r'''
import threading, time
def sleep(seconds):
    import __main__ as demo
    print("pause", seconds, threading.current_thread() is threading.main_thread(),
          repr(demo.textBox.toPlainText()), flush=True)
time.sleep = sleep
'''


def test_import_only_defines_the_names():
    r = run_python(r'''
import logging
import demos.stalled_console_demo as d
from PyQt4 import QtGui
print(QtGui.QApplication.instance() is None, d.logger.name, d.logger.handlers, d.logger.level)
print(d.ConsoleWindowLogHandler.__bases__ == (logging.Handler,),
      [n for n in ("app", "window", "textBox", "button", "vertLayout", "consoleHandler") if hasattr(d, n)])
class Box:
    def __init__(self): self.text = []
    def append(self, t): self.text.append(t)
box = Box()
h = d.ConsoleWindowLogHandler(box)
d.logger.addHandler(h)
d.logger.error("a=%d b=%s", 3, "z")
class Shout(str):
    def __str__(self):
        return self.upper()
class ShoutRecord(logging.LogRecord):
    def getMessage(self):
        return Shout("loud")
h.emit(logRecord=ShoutRecord("x", 40, "f", 1, "", (), None))  # converted by the interpreter's str()
print(h.textBox is box, h.level, box.text, [type(t).__name__ for t in box.text])
''')
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "True demos.stalled_console_demo [] 0",
        "True []",
        "True 0 ['a=3 b=z', 'LOUD'] ['str', 'str']",
    ]


def test_job_freezes_the_loop_and_both_lines_show_after_it():
    r = main_program_driver("demos.stalled_console_demo", "PyQt4.QtGui", "QApplication",
                            prelude=SLEEP_PROBE, script=TWO_CLICKS)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "pause 5 True 'line1'",
        "after first click: 'line1\\nline2'",
        "pause 5 True 'line1\\nline2\\nline1'",
        "'line1\\nline2\\nline1\\nline2\\nmerged 7 and x'",
        "exit status: 0",
    ]


def test_process_exits_with_the_loop_status():
    r = main_program_driver("demos.stalled_console_demo", "PyQt4.QtGui", "QApplication",
                            script="app.exit(3)")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["exit status: 3"]


def test_unattended_run_through_the_runner():
    r = run_module("demos.stalled_console_demo", env={"DORAR_DEMO_CLOSE_AFTER": "50"}, timeout=60)
    assert (r.returncode, r.stdout) == (0, "")
    r = run_module("demos.stalled_console_demo", env={"DORAR_DEMO_CLOSE_AFTER": "soon"}, timeout=60)
    assert r.returncode == 1
    assert "DORAR_DEMO_CLOSE_AFTER must be a whole number of milliseconds, not 'soon'" in r.stderr


def test_qt4_stand_in():
    r = run_python(r'''
import sys
from PyQt5 import QtWidgets
from PyQt4 import QtGui, QtCore
print(issubclass(QtGui.QApplication, QtWidgets.QApplication),
      QtGui.QTextBrowser is QtWidgets.QTextBrowser, QtGui.QPushButton is QtWidgets.QPushButton)
try:
    QtGui.QLabel
except AttributeError as e:
    print(e)
try:
    from PyQt4 import QtOpenGL
except ImportError:
    print("no QtOpenGL")
app = QtGui.QApplication(sys.argv)
# an error escaping a slot is reported and the program goes on, as with Qt 4
def broken():
    raise ValueError("slot failed")
b = QtGui.QPushButton("x")
b.clicked.connect(broken)
b.click()
print("still running")
# Qt 4's thread class announces a termination
ends = []
t = QtCore.QThread()
t.terminated.connect(lambda: ends.append("terminated"))
t.terminate()
t.start()
t.terminate()
print(ends, t.isRunning())
''')
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "True True True",
        "PyQt4.QtGui stand-in has no 'QLabel' (it maps only QApplication, QPushButton, "
        "QTextBrowser, QTextEdit, QVBoxLayout, QWidget)",
        "no QtOpenGL",
        "still running",
        "['terminated'] False",
    ]
    assert "ValueError: slot failed" in r.stderr


def test_vispy_does_not_take_the_stand_in():
    r = run_python(r'''
import vispy.app
print(vispy.app.use_app().backend_name)
''')
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith("PyQt5")
