"""Qt 4's QtGui widget names, mapped onto PyQt5 (see the package docstring)."""
import os
import sys
import traceback

from PyQt5.QtCore import QTimer
from PyQt5.QtWidgets import QApplication as _QApplication
from PyQt5.QtWidgets import QPushButton, QTextBrowser, QTextEdit, QVBoxLayout, QWidget

__all__ = ["QApplication", "QPushButton", "QTextBrowser", "QTextEdit", "QVBoxLayout", "QWidget"]


def _report_slot_error(kind, value, tb):
    sys.stderr.write("".join(traceback.format_exception(kind, value, tb)))
    sys.stderr.flush()


class QApplication(_QApplication):
    """The application object, with Qt 4's handling of errors that escape a slot (reported on
    stderr; the program goes on) and the DORAR_DEMO_CLOSE_AFTER hook of the package docstring."""

    def __init__(self, argv):
        _QApplication.__init__(self, argv)
        if sys.excepthook is sys.__excepthook__:
            sys.excepthook = _report_slot_error

    def exec_(self):
        close_after = os.environ.get("DORAR_DEMO_CLOSE_AFTER")
        if close_after:
            try:
                delay = int(close_after)
            except ValueError:
                raise ValueError("DORAR_DEMO_CLOSE_AFTER must be a whole number of milliseconds, "
                                 "not %r" % close_after) from None
            QTimer.singleShot(max(delay, 0), self._close_unattended)
        return super().exec_()

    exec = exec_

    def _close_unattended(self):
        self.closeAllWindows()
        self.quit()  # also ends a loop that had no window open


def __getattr__(name):
    raise AttributeError("PyQt4.QtGui stand-in has no %r (it maps only %s)"
                         % (name, ", ".join(__all__)))
