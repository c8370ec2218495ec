"""Helpers of the viewer and help form tests: the form-test kit and a stand-in main window whose
current viewer has a 3D canvas."""
import os
import sys

from qtpy.QtWidgets import QWidget

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "forms"))
from formkit import Recorder, make, rows, translator  # noqa: E402,F401 (fixtures)


class Canvas:
    """A 3D canvas as the ray-casting form sees it: two plain attributes."""

    def __init__(self, pick_radius=10, sphere_radius=0.5):
        self.pick_radius = pick_radius
        self.sphere_radius = sphere_radius


class Viewer:
    def __init__(self, canvas):
        self.canvas = canvas


class MainWindow(QWidget):
    """The host's main window: `main` is the window itself, `current_viewer` the viewer in front."""

    def __init__(self, canvas=None):
        super().__init__()
        self.main = self
        self.current_viewer = Viewer(canvas if canvas is not None else Canvas())


def dialogs_of(widget):
    """The forms that `widget` still holds as children."""
    from qtpy.QtWidgets import QDialog
    return widget.findChildren(QDialog)
