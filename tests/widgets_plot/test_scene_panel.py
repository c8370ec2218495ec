"""The 2D plot panel: its tool-button row, help box, view state and the objects it shows."""
import logging

import numpy as np
import pytest
from qtpy.QtCore import QSize, Qt
from qtpy.QtWidgets import QApplication, QHBoxLayout, QPushButton, QSpacerItem

from conftest import run_python
from dorar.gocube.cube import Cube
from dorar.goline.line import Line
from dorar.gopoint.label import Label
from dorar.gopoint.point import Point
from dorar.utils import qthelpers
from dorar.widgets import console_panel as cp
from dorar.widgets import scene_panel as sp

TIPS = ["Hide all", "Pick mode", "Background color", "Export canvas to picture"]


class Recorder:
    """Stands in for a static Qt call (message boxes) and records its arguments."""

    def __init__(self):
        self.calls = []

    def __call__(self, *args):
        self.calls.append(args)


@pytest.fixture
def boxes(monkeypatch):
    info, critical = Recorder(), Recorder()
    monkeypatch.setattr(sp, "QMessageBox", type("Box", (), {"information": info, "critical": critical}))
    return info, critical


@pytest.fixture
def panel(qtbot):
    p = sp.ScenePanel(name="map")
    qtbot.addWidget(p)
    return p


def row_items(panel):
    row = panel.layout().itemAt(0).layout()
    return [row.itemAt(i) for i in range(row.count())]


def test_load_binds_its_names_and_translates_the_plot_name_once():
    r = run_python(
        "import dorar.config.base as b\n"
        "b.TRANSLATOR = lambda t: '<%s>' % t\n"
        "from dorar.widgets import scene_panel as sp\n"
        "print(sp.PlotBase.NAME)\n"
        "print(sorted(n for n in vars(sp) if not n.startswith('__')))\n")
    assert r.returncode == 0, r.stderr
    name, names = r.stdout.splitlines()
    assert name == "<scene panel>"
    assert names == str(sorted(["Qt", "QSize", "QWidget", "QHBoxLayout", "QMessageBox", "VispyCanvas",
                                "create_plugin_layout", "create_toolbutton", "create_toolbutton_help",
                                "ima", "_", "logger", "ScenePanel", "PlotBase"]))
    r = run_python("import sys; sys.modules['dorar.utils.logger'] = None\nimport dorar.widgets.scene_panel")
    assert "ImportError" in r.stderr or "ModuleNotFoundError" in r.stderr


def test_default_panel_holds_the_five_buttons(qtbot):
    panel = sp.ScenePanel()
    qtbot.addWidget(panel)
    assert panel.parent is None  # the attribute hides QWidget.parent()
    assert panel.base._name is None and isinstance(panel.base, sp.PlotBase)
    assert panel.base.parentWidget() is panel
    items = row_items(panel)
    assert len(items) == 5 and not any(isinstance(i, QSpacerItem) for i in items)
    buttons = [i.widget() for i in items]
    assert [b.toolTip() for b in buttons[:4]] == TIPS
    assert all(b.iconSize() == QSize(16, 16) for b in buttons)
    assert buttons[1] is panel.pick_btn and panel.pick_btn.isCheckable()
    assert [b.shortcut().toString() for b in buttons[:4]] == ["Ctrl+L", "P", "", ""]


def test_options_button_comes_last_after_a_stretch(qtbot):
    options = QPushButton("options")
    p = sp.ScenePanel(None, options, "map")
    qtbot.addWidget(p)
    items = row_items(p)
    assert len(items) == 7 and isinstance(items[5], QSpacerItem)
    assert items[6].widget() is options
    row = items[6]
    layout = next(lay for lay in p.findChildren(QHBoxLayout) if lay.indexOf(options) >= 0)
    assert layout.stretch(6) == 0 and row.alignment() == Qt.AlignRight
    assert p.base._name == "map"
    with pytest.raises(TypeError):
        sp.ScenePanel(None, None, "map", "extra")


@pytest.mark.parametrize("module,make,buttons", [(sp, lambda: sp.ScenePanel(), 4), (cp, lambda: cp.ConsolePanel(), 2)],
                         ids=["scene_panel", "console_panel"])
def test_both_panels_make_the_row_before_its_buttons(qtbot, monkeypatch, module, make, buttons):
    made = []
    for name in ("QHBoxLayout", "create_toolbutton", "create_toolbutton_help"):
        real = getattr(module, name)
        monkeypatch.setattr(module, name, lambda *a, real=real, name=name, **k: made.append(name) or real(*a, **k))
    qtbot.addWidget(make())
    assert made == ["QHBoxLayout"] + ["create_toolbutton"] * buttons + ["create_toolbutton_help"]


def test_buttons_are_made_through_the_host_helpers(panel, monkeypatch):
    calls, icons = [], []
    real = qthelpers.create_toolbutton

    def create(*args, **kwargs):
        calls.append((args, list(kwargs)))
        return real(*args, **kwargs)

    monkeypatch.setattr(sp, "create_toolbutton", create)
    monkeypatch.setattr(sp, "ima", type("Ima", (), {"icon": staticmethod(lambda n: icons.append(n) or None)}))
    import dorar.config.base as base
    monkeypatch.setattr(base, "TRANSLATOR", lambda t: t.upper())
    buttons = panel.setup_buttons()
    assert icons == ["hide_all", "pick_mode", "bkgd_color", "photo"]
    assert [c[0] for c in calls] == [(panel,)] * 4
    assert [c[1] for c in calls] == [["icon", "tip", "shortcut", "triggered"], ["icon", "tip", "shortcut", "toggled"],
                                     ["icon", "tip", "triggered"], ["icon", "tip", "triggered"]]
    assert [b.toolTip() for b in buttons[:4]] == [t.upper() for t in TIPS]
    assert len(buttons) == 5 and buttons[1] is panel.pick_btn  # a second call re-points pick_btn


def test_buttons_and_shortcuts_drive_the_canvas(panel, qtbot):
    base = panel.base
    base.add_item_agent(Point("pts", np.random.rand(4, 3)))
    hide_all, pick = row_items(panel)[0].widget(), panel.pick_btn
    qtbot.mouseClick(pick, Qt.LeftButton)
    assert base.pick_mode is True
    qtbot.mouseClick(pick, Qt.LeftButton)
    assert base.pick_mode is False
    qtbot.mouseClick(hide_all, Qt.LeftButton)
    assert base.canvas.visuals == [] and base.dpState["pts"]["object"]["self"] is False

    panel.show()
    qtbot.waitExposed(panel)
    QApplication.setActiveWindow(panel)
    qtbot.waitUntil(lambda: QApplication.activeWindow() is panel)
    qtbot.keyClick(panel, Qt.Key_P)  # a shortcut animates a click: the slot runs a moment later
    qtbot.waitUntil(lambda: base.pick_mode is True)
    base.add_item_agent(Point("more", np.random.rand(3, 3)))
    qtbot.keyClick(panel, Qt.Key_L, Qt.ControlModifier)
    qtbot.waitUntil(lambda: base.canvas.visuals == [])


def test_help_box_shows_the_canvas_help_unchanged(panel, boxes, qtbot, monkeypatch):
    info, _ = boxes
    import dorar.config.base as base
    monkeypatch.setattr(base, "TRANSLATOR", lambda t: "[%s]" % t)
    help_btn = row_items(panel)[4].widget()
    qtbot.mouseClick(help_btn, Qt.LeftButton)
    assert info.calls == [(panel, "[How to use]", panel.base.HELP)]
    assert panel.show_help() is None and len(info.calls) == 2


def test_a_failing_slot_is_reported_not_fatal(panel, qtbot, monkeypatch):
    monkeypatch.setattr(panel.base, "hide_all", lambda: 1 / 0)
    button = panel.setup_buttons()[0]
    before = len(qthelpers.REPORTED)
    qtbot.mouseClick(button, Qt.LeftButton)
    assert isinstance(qthelpers.REPORTED[before][1], ZeroDivisionError)


# -- the plot canvas ------------------------------------------------------------------------------

def test_new_canvas_state_and_view_scaling(panel):
    base = panel.base
    assert base.canvas00.visuals == [] and base.canvas.visuals == []
    assert base.camera is base.canvas00.camera and base.view is base.canvas00.view
    state = base.state
    assert list(state) == ["aspect_method", "view_scaling", "bgcolor"]
    assert state["aspect_method"] == "Equal" and state["view_scaling"] == 1.0
    np.testing.assert_array_equal(state["bgcolor"], base.bgcolor.rgba)
    base.view_scaling = 2.5
    assert base.camera.aspect == 2.5 and base.state["view_scaling"] == 2.5
    assert base.state is not base.state
    assert sp.PlotBase.state.__doc__ == "\n        -o- state : dict, used for save viewer to database\n        "


def test_state_applies_what_it_finds(panel, qtbot):
    base = panel.base
    before = base.state
    base.state = {}
    assert base.state["aspect_method"] == before["aspect_method"]
    assert base.state["view_scaling"] == before["view_scaling"]
    base.state = {"bgcolor": (0.0, 0.5, 1.0, 1.0), "extra": 1}
    assert base.state["aspect_method"] == "Equal" and base.state["view_scaling"] == 1.0
    np.testing.assert_allclose(base.state["bgcolor"], (0.0, 0.5, 1.0, 1.0))

    class Saved:  # answers `in` by iteration only, as any container may
        def __iter__(self):
            return iter(["view_scaling"])

        def __getitem__(self, key):
            return {"view_scaling": 3.0}[key]

    base.state = Saved()
    assert base.camera.aspect == 3.0 and base.state["aspect_method"] == "Equal"
    base.state = {"aspect_method": "Fixed", "view_scaling": 0.25}
    # round trip: what one canvas saves, another shows alike
    other = sp.ScenePanel(name="copy")
    qtbot.addWidget(other)
    other.base.state = base.state
    assert other.base.state["aspect_method"] == "Fixed" and other.base.camera.aspect == 0.25
    np.testing.assert_allclose(other.base.state["bgcolor"], (0.0, 0.5, 1.0, 1.0))


@pytest.mark.parametrize("kind", ["point", "Cube", None, 3])
def test_objects_it_cannot_show_are_refused_with_a_warning(panel, boxes, caplog, kind):
    _, critical = boxes
    dob = Cube("volume")
    dob.geometry_type = kind
    with caplog.at_level(logging.INFO, logger="dorar"):
        assert panel.base.add_item_agent(dob) is None
    assert critical.calls == [(panel.base, "Warning", "map cannot display volume")]
    assert caplog.records == [] and panel.base.dpState == {} and panel.base.canvas.visuals == []


def test_titles_are_translated_before_their_texts(panel, boxes, monkeypatch):
    import dorar.config.base as base
    seen = []
    monkeypatch.setattr(base, "TRANSLATOR", lambda t: seen.append(t) or t)
    panel.base.add_item_agent(Cube("volume"))
    panel.show_help()
    assert seen == ["Warning", "map cannot display volume", "How to use"]


def test_show_and_take_out_points_labels_and_lines(panel, caplog, capsys):
    base = panel.base
    objs = [Point("pts", np.random.rand(5, 3)), Label("lab", np.random.rand(2, 3)), Line("ln", np.random.rand(4, 3))]
    with caplog.at_level(logging.INFO, logger="dorar"):
        for dob in objs:
            base.add_item_agent(dob)
    assert [r.getMessage() for r in caplog.records] == ["map is adding pts", "map is adding lab", "map is adding ln"]
    assert base.canvas.visuals == [dob.vs2d["map"] for dob in objs]
    assert all(dob.vs2d["map"].parent is base.view.scene for dob in objs)
    assert {k: v["object"]["self"] for k, v in base.dpState.items()} == {"pts": True, "lab": True, "ln": True}

    caplog.clear()
    with caplog.at_level(logging.INFO, logger="dorar"):
        base.remove_item_agent(objs[2])
        base.remove_item_agent(objs[2])  # the flag is false now: nothing at all
        base.remove_item_agent(Point("never", np.zeros((1, 3))))
    assert [r.getMessage() for r in caplog.records] == ["map is removing ln"]
    assert base.dpState["ln"]["object"]["self"] is False and "never" not in base.dpState
    assert objs[2].vs2d["map"] not in base.canvas.visuals and capsys.readouterr().out == ""


def test_a_visual_it_already_has_is_reused(panel, monkeypatch):
    base, dob = panel.base, Point("pts", np.random.rand(5, 3))
    base.add_item_agent(dob)
    monkeypatch.setattr(dob, "make_vs2d", lambda parent=None: pytest.fail("visual rebuilt"))
    base.add_item_agent(dob)
    assert base.canvas.visuals == [dob.vs2d["map"]] * 2


def test_a_value_error_while_taking_out_is_printed_and_recorded(panel, capsys, monkeypatch):
    base, dob = panel.base, Line("ln", np.random.rand(3, 3))
    base.add_item_agent(dob)

    def refuse(item):
        raise ValueError("not in the plot")

    monkeypatch.setattr(base, "remove_item", refuse)
    base.remove_item_agent(dob)
    assert capsys.readouterr().out == "Ignore not in the plot\n"
    assert base.dpState["ln"]["object"]["self"] is False
    base.save_display_state("ln", "object", "self", True)
    monkeypatch.setattr(base, "remove_item", lambda item: {}[item])
    with pytest.raises(KeyError):
        base.remove_item_agent(dob)
    assert base.dpState["ln"]["object"]["self"] is True
