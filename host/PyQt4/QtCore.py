"""Qt 4's QtCore names, mapped onto PyQt5 (see the package docstring)."""
from PyQt5.QtCore import QObject, Qt, QTimer, pyqtSignal, pyqtSlot
from PyQt5.QtCore import QThread as _QThread

__all__ = ["QObject", "QThread", "QTimer", "Qt", "pyqtSignal", "pyqtSlot"]


class QThread(_QThread):
    """Qt 5's thread class with Qt 4's ``terminated`` signal.

    ``terminated`` is emitted once a thread stopped by ``terminate`` has ended.
    """

    terminated = pyqtSignal()

    def terminate(self):
        running = self.isRunning()
        _QThread.terminate(self)
        if running:
            self.wait()
            self.terminated.emit()


def __getattr__(name):
    raise AttributeError("PyQt4.QtCore stand-in has no %r (it maps only %s)"
                         % (name, ", ".join(__all__)))
