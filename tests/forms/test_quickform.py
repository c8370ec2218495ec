"""The stand-in form base and the volume-index helpers of the host."""
import pytest

from conftest import run_python
from dorar.gocube import function
from dorar.gocube.cube import Cube
from dorar.gosurvey.survey import Survey
from dorar.widgets import quickform
from dorar.widgets.quickform import QuickFormDialog
from formkit import FRAME_FIELDS


class Probe(QuickFormDialog):
    NAME = "Probe"

    def __init__(self):
        QuickFormDialog.__init__(self, None)
        self.name = self.create_lineedit("Name", default="  keep me  ")
        self.pick = self.create_grabob("Cube", geom=["Cube"])
        self.action = self.create_action()
        for w in (self.name, self.pick, self.action):
            self.layout.addWidget(w)

    def apply(self):
        raise ValueError("bad name")


class Loader(Probe):
    def load_object(self):
        raise KeyError(self.object.name)


def test_factories_and_picks(qtbot, monkeypatch):
    d = Probe()
    qtbot.addWidget(d)
    assert d.windowTitle() == "Probe" and d.object is None and d.parent() is None
    assert d.name.edit.text() == "  keep me  " and d.create_lineedit("x").edit.text() == ""
    d.name.setEnabled(False)
    assert not d.name.label.isEnabled() and not d.name.edit.isEnabled()
    frame = d.create_cubeframe()
    assert all(getattr(frame, f).text() == "" for f in FRAME_FIELDS)
    cube = Cube("c1")
    d.pick.pick(cube)                                  # a form without load_object accepts picks
    assert d.object is cube and d.pick.lineedit.edit.text() == "c1"
    with pytest.raises(ValueError, match="Survey"):
        d.pick.pick(Survey("s"))
    monkeypatch.setattr(quickform, "REGISTRY", [Survey("s"), cube])
    assert d.pick.candidates() == [cube]


def test_errors_are_reported_not_raised(qtbot, monkeypatch):
    monkeypatch.setattr(quickform, "REPORTED", [])
    d = Loader()
    qtbot.addWidget(d)
    d.action.apply_button.click()
    d.pick.pick(Cube("broken"))
    assert [(w, type(e).__name__) for w, e in quickform.REPORTED] == [("apply", "ValueError"),
                                                                      ("load_object", "KeyError")]
    assert d.object.name == "broken"


def test_a_failing_button_handler_does_not_end_the_program():
    r = run_python(
        "from qtpy.QtWidgets import QApplication, QPushButton\n"
        "from dorar.widgets.quickform import QuickFormDialog, REPORTED\n"
        "app = QApplication([])\n"
        "d = QuickFormDialog()\n"
        "b = QPushButton('x')\n"
        "def boom(): raise RuntimeError('handler failed')\n"
        "b.clicked.connect(boom)\n"
        "b.click(); b.click()\n"
        "print('still running', len(REPORTED))\n")
    assert r.returncode == 0, r.stderr
    assert "still running 2" in r.stdout and "handler failed" in r.stderr


def test_vidx_helpers():
    vidx = {k: i for i, k in enumerate(function.VIDX_KEYS)}
    assert function.vidx_dict2list(vidx) == list(range(12))
    assert function.vidx_format_dtype(vidx) is vidx
    assert [type(v) for v in vidx.values()] == [int] * 8 + [float, float, float, int]
