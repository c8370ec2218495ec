"""QuickFormDialog: the base of the form dialogs.

A form derives `Dialog` from this class, sets `NAME` (and optionally `HELP_BODY`), builds its rows
in `setup_page` with the factories below, adds each to `layout` and ends with `create_action()`.
The apply button calls the form's `apply`; a pick in an object picker sets `object` and calls the
form's `load_object` where it has one.

An exception raised by `apply`, `load_object` or a button handler is reported (printed to stderr
and kept in `REPORTED`), never allowed to abort the process.

DORAR_FORM_CLOSE_AFTER=<ms>: a shown form closes itself after that many milliseconds and prints
"shown: <title>" and one "row: <label>" line per labelled row when it is shown (used to run a
form's `main` unattended).
"""
import os
import sys
import traceback

from qtpy.QtCore import QTimer
from qtpy.QtWidgets import (QComboBox, QDialog, QFileDialog, QGridLayout, QHBoxLayout, QLabel,
                            QLineEdit, QMenu, QMessageBox, QPushButton, QVBoxLayout, QWidget)

# (where, exception) for every exception the forms have reported, oldest first.
REPORTED = []

# Data objects the host has loaded; object pickers offer those of the kinds they accept.
REGISTRY = []


def report_exception(where, exc):
    REPORTED.append((where, exc))
    sys.stderr.write("Error in %s:\n" % where)
    sys.stderr.write("".join(traceback.format_exception(type(exc), exc, exc.__traceback__)))
    sys.stderr.flush()


def _excepthook(kind, exc, tb):
    # Reached for exceptions that escape a slot Qt invoked (e.g. a handler a form connected to
    # one of its own buttons); PyQt5 aborts the process unless a hook like this one is installed.
    report_exception("a button handler", exc.with_traceback(tb) if exc is not None else kind())


def _guard(where, func, *args):
    try:
        func(*args)
    except Exception as exc:  # reported, as a host does; the form stays usable
        report_exception(where, exc)


class LineEditRow(QWidget):
    """A label and a line edit (`edit`)."""

    def __init__(self, label, default=None, parent=None):
        super().__init__(parent)
        self.label = QLabel(label)
        self.edit = QLineEdit()
        if default is not None:
            self.edit.setText(default)
        box = QHBoxLayout(self)
        box.setContentsMargins(0, 0, 0, 0)
        box.addWidget(self.label)
        box.addWidget(self.edit, 1)


class ComboBoxRow(QWidget):
    """A label and a combo box (`combobox`)."""

    def __init__(self, label, parent=None):
        super().__init__(parent)
        self.label = QLabel(label)
        self.combobox = QComboBox()
        box = QHBoxLayout(self)
        box.setContentsMargins(0, 0, 0, 0)
        box.addWidget(self.label)
        box.addWidget(self.combobox, 1)


class GrabObject(QWidget):
    """Picker of one loaded data object whose kind is in `geom`; `lineedit.edit` shows its name."""

    def __init__(self, dialog, label, geom, parent=None):
        super().__init__(parent)
        self.dialog = dialog
        self.geom = list(geom)
        self.lineedit = LineEditRow(label)
        self.lineedit.edit.setReadOnly(True)
        self.button = QPushButton("...")
        self.button.clicked.connect(self.choose)
        box = QHBoxLayout(self)
        box.setContentsMargins(0, 0, 0, 0)
        box.addWidget(self.lineedit, 1)
        box.addWidget(self.button)

    @property
    def label(self):
        return self.lineedit.label

    def candidates(self):
        return [ob for ob in REGISTRY if getattr(ob, "geometry_type", None) in self.geom]

    def choose(self):
        menu = QMenu(self)
        for ob in self.candidates():
            menu.addAction(ob.name, lambda ob=ob: self.pick(ob))
        menu.exec_(self.button.mapToGlobal(self.button.rect().bottomLeft()))

    def pick(self, ob):
        """The user picked `ob`: show its name, set the form's `object`, run its `load_object`."""
        kind = getattr(ob, "geometry_type", None)
        if kind not in self.geom:
            raise ValueError("cannot pick a %s object here; accepted: %s" % (kind, ", ".join(self.geom)))
        self.lineedit.edit.setText(ob.name)
        self.dialog.object = ob
        load = getattr(self.dialog, "load_object", None)
        if load is not None:
            _guard("load_object", load)


class BrowseFile(QWidget):
    """A path field (`lineedit.edit`) with a button that opens a file dialog."""

    def __init__(self, label, filters=None, new=False, parent=None):
        super().__init__(parent)
        self.filters = filters
        self.new = new and not filters
        self.lineedit = LineEditRow(label)
        self.button = QPushButton("...")
        self.button.clicked.connect(lambda: _guard("the file chooser", self.browse))
        box = QHBoxLayout(self)
        box.setContentsMargins(0, 0, 0, 0)
        box.addWidget(self.lineedit, 1)
        box.addWidget(self.button)

    @property
    def label(self):
        return self.lineedit.label

    def browse(self):
        if self.new:
            path, _ = QFileDialog.getSaveFileName(self, self.label.text())
        else:
            path, _ = QFileDialog.getOpenFileName(self, self.label.text(), "", self.filters or "")
        if path:
            self.lineedit.edit.setText(path)


class CubeFrame(QWidget):
    """First, last and increment of the inline, crossline and depth axes (nine line edits)."""

    AXES = (("il", "Inline"), ("xl", "Crossline"), ("dp", "Depth"))
    PARTS = (("frst", "First"), ("last", "Last"), ("ncrt", "Increment"))

    def __init__(self, parent=None):
        super().__init__(parent)
        grid = QGridLayout(self)
        grid.setContentsMargins(0, 0, 0, 0)
        for col, (_, title) in enumerate(self.PARTS, 1):
            grid.addWidget(QLabel(title), 0, col)
        for row, (axis, title) in enumerate(self.AXES, 1):
            grid.addWidget(QLabel(title), row, 0)
            for col, (part, _) in enumerate(self.PARTS, 1):
                edit = QLineEdit()
                setattr(self, "le_%s_%s" % (axis, part), edit)
                grid.addWidget(edit, row, col)


class ActionRow(QWidget):
    """Apply and Close buttons, and Help where the form has a help text."""

    def __init__(self, dialog, parent=None):
        super().__init__(parent)
        self.dialog = dialog
        box = QHBoxLayout(self)
        box.setContentsMargins(0, 0, 0, 0)
        if getattr(dialog, "HELP_BODY", None):
            self.help_button = QPushButton("Help")
            self.help_button.clicked.connect(lambda: _guard("help", dialog.show_help))
            box.addWidget(self.help_button)
        box.addStretch(1)
        self.apply_button = QPushButton("Apply")
        self.apply_button.clicked.connect(self.on_apply)
        self.close_button = QPushButton("Close")
        self.close_button.clicked.connect(dialog.close)
        box.addWidget(self.apply_button)
        box.addWidget(self.close_button)

    def on_apply(self):
        _guard("apply", self.dialog.apply)


class QuickFormDialog(QDialog):
    NAME = ""

    def __init__(self, parent=None):
        super().__init__(parent)
        if sys.excepthook is sys.__excepthook__:
            sys.excepthook = _excepthook
        self.object = None
        self.setWindowTitle(self.NAME)
        if getattr(self, "HELP_BODY", None) is not None:
            self.helpMessage = self.HELP_BODY   # the form's help text (rich text)
        self.layout = QVBoxLayout(self)
        self._close_after = os.environ.get("DORAR_FORM_CLOSE_AFTER")

    # -- factories: each returns a new widget, not placed ------------------------------------
    def create_lineedit(self, label, default=None):
        return LineEditRow(label, default)

    def create_grabob(self, label, geom):
        return GrabObject(self, label, geom)

    def create_browsefile(self, label, filters=None, new=False):
        return BrowseFile(label, filters, new)

    def create_combobox(self, label):
        return ComboBoxRow(label)

    def create_cubeframe(self):
        return CubeFrame()

    def create_action(self):
        return ActionRow(self)

    # -- help ------------------------------------------------------------------------------
    def show_help(self):
        QMessageBox.information(self, self.NAME, getattr(self, "HELP_BODY", "") or "")

    # -- unattended runs -------------------------------------------------------------------
    def rows(self):
        """The labels of the labelled rows, top to bottom."""
        labels = []
        for i in range(self.layout.count()):
            w = self.layout.itemAt(i).widget()
            if w is not None and hasattr(w, "label"):
                labels.append(w.label.text())
        return labels

    def showEvent(self, event):
        super().showEvent(event)
        if self._close_after is not None:
            print("shown: %s" % self.windowTitle())
            for label in self.rows():
                print("row: %s" % label)
            sys.stdout.flush()
            QTimer.singleShot(int(self._close_after), self.close)
