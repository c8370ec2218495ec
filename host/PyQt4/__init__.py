"""Stand-in for the Qt 4 binding PyQt4, which cannot be installed here.

It maps the few Qt 4 names our programs use onto PyQt5, keeping the Qt 4 behaviour they rely on:

- ``QtGui``: the widget classes Qt 4 kept in QtGui (``QApplication``, ``QWidget``,
  ``QTextBrowser``, ``QTextEdit``, ``QPushButton``, ``QVBoxLayout``).
- ``QtCore``: ``QObject``, ``QThread`` (with Qt 4's ``terminated`` signal), ``QTimer``, ``Qt``,
  ``pyqtSignal``, ``pyqtSlot``.

Any other name raises AttributeError naming the names that are mapped. There is deliberately no
``QtOpenGL``: toolkits that probe for PyQt4 (vispy does) find it unusable and take PyQt5 instead.

As in PyQt4, an error that escapes a slot is reported on stderr and the program goes on (PyQt5
itself would abort the process).

DORAR_DEMO_CLOSE_AFTER=<ms>: ``QApplication.exec_`` closes every window after that many
milliseconds, which ends the event loop with status 0 (lets a program run unattended).
"""
