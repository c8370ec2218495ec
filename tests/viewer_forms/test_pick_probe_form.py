"""The ray-casting radii form: the canvas it reaches through its parent, load and apply."""
import pytest
from qtpy.QtWidgets import QWidget

from dorar.dialogs import pick_probe as P
from viewerkit import Canvas, MainWindow, Viewer, dialogs_of, make, rows, translator  # noqa: F401


@pytest.fixture
def window(qtbot):
    w = MainWindow(Canvas(pick_radius=10, sphere_radius=0.5))
    qtbot.addWidget(w)
    return w


def texts(d):
    return d.pick_radius.edit.text(), d.sphere_radius.edit.text()


def radii(canvas):
    return canvas.pick_radius, canvas.sphere_radius


def test_rows_defaults_and_the_canvas_of_the_current_viewer(translator, make, window):
    canvas = window.current_viewer.canvas
    d = make(P, window)
    assert rows(d)[:2] == [d.pick_radius, d.sphere_radius] and type(rows(d)[2]).__name__ == "ActionRow"
    assert len(rows(d)) == 3 and d.rows() == ["<Pick radius>", "<Sphere radius>"]
    assert translator[-2:] == ["Pick radius", "Sphere radius"]
    assert texts(d) == ("50", "1.0") and d.canvas is canvas      # not loaded from the canvas
    # Another viewer becomes current: the form stays with the canvas it was made with.
    window.current_viewer = Viewer(Canvas())
    d.apply()
    assert radii(canvas) == (50, 1.0) and type(canvas.pick_radius) is int and type(canvas.sphere_radius) is float
    assert radii(window.current_viewer.canvas) == (10, 0.5)


@pytest.mark.parametrize("pick,sphere,written", [
    (" 7 ", "2", (7, 2.0)), ("-3", "0", (-3, 0.0)), ("+0", " -1.5e-1 ", (0, -0.15)), ("50", "inf", (50, float("inf"))),
])
def test_apply_writes_both_radii(make, window, pick, sphere, written):
    d = make(P, parent=window)
    d.pick_radius.edit.setText(pick)
    d.sphere_radius.edit.setText(sphere)
    d.apply()
    canvas = window.current_viewer.canvas
    assert radii(canvas) == written and type(canvas.sphere_radius) is float
    canvas.pick_radius = 1
    d.apply()                                    # a second press writes again
    assert radii(canvas) == written and texts(d) == (pick, sphere)


@pytest.mark.parametrize("pick,sphere,culprit", [
    ("50.5", "1.0", "int()"), ("50.0", "1.0", "int()"), ("", "1.0", "int()"), ("5 0", "1.0", "int()"),
    ("50", "", "float"), ("50", "one", "float"), ("x", "y", "int()"),      # the pick radius is read first
])
def test_a_bad_text_writes_nothing(make, window, pick, sphere, culprit):
    d = make(P, window)
    d.pick_radius.edit.setText(pick)
    d.sphere_radius.edit.setText(sphere)
    with pytest.raises(ValueError, match=culprit.replace("(", r"\(").replace(")", r"\)")):
        d.apply()
    assert radii(window.current_viewer.canvas) == (10, 0.5) and texts(d) == (pick, sphere)


def test_load_shows_the_canvas_values(make, window):
    canvas = window.current_viewer.canvas
    d = make(P, window)
    canvas.pick_radius, canvas.sphere_radius = 25, 3.0
    d.load()
    assert texts(d) == ("25", "3.0")
    canvas.pick_radius, canvas.sphere_radius = 0, 0
    d.apply()                                    # load then apply writes back what was shown
    assert radii(canvas) == (25, 3.0)
    canvas.pick_radius = 2.5                      # a real pick radius shows, then fails in apply
    d.load()
    assert texts(d) == ("2.5", "3.0")
    with pytest.raises(ValueError):
        d.apply()
    assert radii(canvas) == (2.5, 3.0)
    del canvas.sphere_radius
    with pytest.raises(AttributeError, match="sphere_radius"):
        d.load()
    assert texts(d) == ("2.5", "3.0")


def test_without_a_parent_there_is_no_canvas(make):
    d = make(P)
    assert texts(d) == ("50", "1.0") and not hasattr(d, "canvas")
    with pytest.raises(AttributeError, match="'canvas'"):
        d.load()
    assert texts(d) == ("50", "1.0")
    d.sphere_radius.edit.setText("big")
    with pytest.raises(ValueError):              # the texts are converted first
        d.apply()
    d.sphere_radius.edit.setText("2")
    with pytest.raises(AttributeError, match="'canvas'"):
        d.apply()


@pytest.mark.parametrize("missing", ["main", "current_viewer", "canvas"])
def test_a_broken_parent_chain_leaves_no_form(qtbot, missing):
    parent = QWidget()
    qtbot.addWidget(parent)
    viewer = type("Viewer", (), {})()
    main = type("Main", (), {})()
    if missing != "canvas":
        viewer.canvas = Canvas()
    if missing != "current_viewer":
        main.current_viewer = viewer
    if missing != "main":
        parent.main = main
    with pytest.raises(AttributeError, match=missing):
        P.Dialog(parent)
    assert dialogs_of(parent) == []


class Picky(Canvas):
    """A canvas that refuses a sphere radius above its limit."""

    def __setattr__(self, name, value):
        if name == "sphere_radius" and value > 10:
            raise ValueError("sphere radius above 10")
        super().__setattr__(name, value)


def test_a_refused_sphere_radius_leaves_the_pick_radius_alone(make):
    window = MainWindow(Picky(pick_radius=10, sphere_radius=0.5))
    canvas = window.current_viewer.canvas
    d = make(P, window)
    d.pick_radius.edit.setText("99")
    d.sphere_radius.edit.setText("11")
    with pytest.raises(ValueError, match="sphere radius above 10"):
        d.apply()
    assert radii(canvas) == (10, 0.5)
    fresh = Picky.__new__(Picky)                  # a canvas that holds no radius yet
    d.canvas = fresh
    with pytest.raises(ValueError):
        d.apply()
    assert vars(fresh) == {}
    d.sphere_radius.edit.setText("9")
    d.apply()
    assert radii(fresh) == (99, 9.0)
    window.deleteLater()
