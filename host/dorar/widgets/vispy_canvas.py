"""VispyCanvas: the host's 2D canvas base, a vispy figure in a Qt widget.

The figure is `canvas` (a vispy SceneCanvas), its plot cell `canvas00`. `canvas.visuals` lists the
visuals shown; `dpState` records per object name what is shown (`dpState[name]["object"]["self"]`).
"""
import vispy

vispy.use("pyqt5")

from qtpy.QtWidgets import QColorDialog, QFileDialog, QVBoxLayout, QWidget  # noqa: E402
from vispy import plot as vp  # noqa: E402
from vispy.io import write_png  # noqa: E402


class VispyCanvas(QWidget):
    HELP = ("Mouse wheel: zoom in and out\n"
            "Left drag: pan\n"
            "Pick mode (P): click a vertex to report it\n"
            "Hide all (Ctrl+L): take every object out of the plot")

    def __init__(self, parent=None, name=None):
        super().__init__(parent)
        self._name = name
        self.dpState = {}
        self.pick_mode = False
        self.canvas = vp.Fig(show=False, bgcolor="w", parent=self)
        self.canvas.unfreeze()
        self.canvas.visuals = []
        self.canvas.freeze()
        self.canvas00 = self.canvas[0, 0]
        layout = QVBoxLayout()
        layout.setContentsMargins(0, 0, 0, 0)
        layout.addWidget(self.canvas.native)
        self.setLayout(layout)

    @property
    def bgcolor(self):
        return self.canvas.bgcolor

    @bgcolor.setter
    def bgcolor(self, color):
        self.canvas.bgcolor = color

    def save_display_state(self, objname, key, subkey, value):
        self.dpState.setdefault(objname, {}).setdefault(key, {})[subkey] = value

    def remove_item(self, item):
        """Takes a visual out of the plot; ValueError when it is not shown here."""
        self.canvas.visuals.remove(item)
        item.parent = None

    # tool slots
    def hide_all(self):
        for item in list(self.canvas.visuals):
            self.remove_item(item)
        for entry in self.dpState.values():
            if "object" in entry:
                entry["object"]["self"] = False

    def toggle_pick_mode(self, checked):
        self.pick_mode = bool(checked)

    def set_background_color(self):
        color = QColorDialog.getColor(parent=self)
        if color.isValid():
            self.bgcolor = color.getRgbF()

    def export_canvas(self):
        filename, _selected = QFileDialog.getSaveFileName(self, "Export canvas to picture", "",
                                                          "PNG image (*.png)")
        if filename:
            write_png(filename, self.canvas.render())
