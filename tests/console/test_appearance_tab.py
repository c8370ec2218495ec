"""The base page of the object style editors."""
import numpy as np
import pytest
from qtpy.QtWidgets import QTableWidget, QWidget

from conftest import run_python
from dorar.gopoint.point import Point
from dorar.widgets import appearance_tab as at


class Tree:
    """The tree of loaded objects, as the page sees it."""

    def __init__(self, **objects):
        self.object_data = dict(objects)


class Editor(QWidget):
    """The host's style editor: its `parent` is the tree, `objname` the edited object's name."""

    def __init__(self, tree, objname):
        super().__init__()
        self.parent = tree
        self.objname = objname


class Page(at.AppearanceTab):
    NAME = "Markers"
    ICON = "marker-icon"

    def setup_page(self):
        self.steps = ["setup"]
        self.propTable = QTableWidget(self)

    def load_style(self):
        self.steps.append("load")


@pytest.fixture
def points():
    dob = Point("pts", np.arange(12.0).reshape(4, 3))
    dob.add_property("depth", np.array([3.0, 1.0, 2.0, 5.0]))
    dob.add_property("class", np.array([1, 2, 2, 1], dtype=np.int32))
    return dob


@pytest.fixture
def editor(qtbot, points):
    e = Editor(Tree(pts=points, other=object()), "pts")
    qtbot.addWidget(e)
    return e


def test_load_defines_the_one_class():
    r = run_python("from dorar.widgets import appearance_tab as at\n"
                   "print(sorted(n for n in vars(at) if not n.startswith('__')))")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == str(sorted(["QWidget", "refresh", "AppearanceTab"]))
    r = run_python("import sys; sys.modules['dorar.widgets.property_table'] = None\n"
                   "import dorar.widgets.appearance_tab")
    assert r.returncode != 0 and "ModuleNotFoundError" in r.stderr


def test_base_class_contract(qtbot):
    assert at.AppearanceTab.__bases__ == (QWidget,)
    assert at.AppearanceTab.NAME is None and at.AppearanceTab.ICON is None
    assert at.AppearanceTab.__doc__ is None
    docs = {n: getattr(at.AppearanceTab, n).__doc__ for n in
            ("initialize", "setup_page", "load_style", "get_icon", "get_name")}
    assert docs == {"initialize": "Initialize configuration page:\n* setup GUI widgets\n"
                                  "* load settings and change widgets accordingly",
                    "setup_page": "Setup style page widget", "load_style": "Load style settings from data",
                    "get_icon": "Loads page icon named by self.ICON", "get_name": "Configuration page name"}
    page = at.AppearanceTab()
    assert page.get_name() is None and page.get_icon() is None
    for abstract in (page.setup_page, page.load_style, page.initialize):
        with pytest.raises(NotImplementedError) as err:
            abstract()
        assert err.value.args == ()
    page.deleteLater()


def test_page_without_an_editor(qtbot, monkeypatch):
    calls = []
    monkeypatch.setattr(at, "refresh", lambda *a: calls.append(a))
    page = Page()
    qtbot.addWidget(page)
    assert page.parent is None and not hasattr(page, "dob") and page.parentWidget() is None
    assert (page.get_name(), page.get_icon()) == ("Markers", "marker-icon")
    page.ICON = "own-icon"  # an instance's own attribute comes first
    assert page.get_icon() == "own-icon"
    with pytest.raises(AttributeError, match="propTable"):
        page.refresh_prop_table()
    page.initialize()
    with pytest.raises(AttributeError, match="dob"):
        page.refresh_prop_table()
    assert calls == []


def test_page_finds_its_object_through_the_editor(editor, points, monkeypatch):
    page = Page(parent=editor)
    assert page.parent is editor and page.parentWidget() is editor and page.dob is points
    assert not hasattr(page, "steps")  # the constructor builds and loads nothing
    assert page.initialize() is None and page.steps == ["setup", "load"]
    calls = []
    monkeypatch.setattr(at, "refresh", lambda *a, **k: calls.append((a, k)))
    assert page.refresh_prop_table() is None
    assert calls == [((page.propTable, points.prop), {})]

    class FalseEditor(Editor):
        def __bool__(self):
            return False

    false = FalseEditor(editor.parent, "pts")  # only None means "no editor"
    assert not false and Page(false).dob is points
    false.deleteLater()


def test_missing_names_fail_the_construction(qtbot, points):
    broken = [(Editor(Tree(pts=points), "nope"), KeyError),
              (Editor(object(), "pts"), AttributeError)]
    no_name = Editor(Tree(pts=points), "pts")
    del no_name.objname
    no_tree = Editor(Tree(pts=points), "pts")
    del no_tree.parent  # the editor's own parent() accessor is no tree of objects
    broken += [(no_name, AttributeError), (no_tree, AttributeError)]
    for editor, error in broken:
        qtbot.addWidget(editor)
        with pytest.raises(error):
            Page(editor)


def test_the_object_is_fixed_at_construction(editor, points, qtbot):
    page = Page(editor)
    elsewhere = QWidget()
    qtbot.addWidget(elsewhere)
    page.setParent(elsewhere)
    editor.objname = "other"
    editor.parent.object_data["pts"] = None
    assert page.parentWidget() is elsewhere and page.parent is editor and page.dob is points


def test_refresh_fills_the_table_in_property_order(editor, points):
    page = Page(editor)
    page.initialize()
    page.refresh_prop_table()
    table = page.propTable
    rows = [[table.item(r, c).text() for c in range(table.columnCount())] for r in range(table.rowCount())]
    assert rows == [["depth", "float64", "1", "5"], ["class", "int32", "1", "2"]]
