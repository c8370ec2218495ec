"""The process log panel: its text area, tool-button row and help box."""
import pytest
from qtpy.QtCore import QSize, Qt
from qtpy.QtWidgets import QApplication, QPushButton, QSpacerItem, QTextBrowser

from conftest import run_python
from dorar.utils import qthelpers
from dorar.widgets import console_panel as cp
from dorar.widgets.mixins import BaseEditMixin

HELP = "Double click a word to highlight then Ctrl+F to find.<br><b>TODO</b> add more.<br>"


def row_items(panel):
    row = panel.layout().itemAt(0).layout()
    return [row.itemAt(i) for i in range(row.count())]


@pytest.fixture
def panel(qtbot):
    p = cp.ConsolePanel()
    qtbot.addWidget(p)
    return p


def test_load_binds_its_imports_and_two_classes():
    r = run_python("from dorar.widgets import console_panel as cp\n"
                   "print(sorted(n for n in vars(cp) if not n.startswith('__')))\n"
                   "print(list(n for n in vars(cp) if n in ('ConsolePanel', 'TextBrowserBase')))")
    assert r.returncode == 0, r.stderr
    names, order = r.stdout.splitlines()
    assert names == str(sorted(["QSize", "Qt", "QTextBrowser", "QWidget", "QHBoxLayout", "QMessageBox",
                                "create_plugin_layout", "create_toolbutton", "create_toolbutton_help", "ima",
                                "_", "BaseEditMixin", "ConsolePanel", "TextBrowserBase"]))
    assert order == str(["ConsolePanel", "TextBrowserBase"])
    r = run_python("import sys; sys.modules['dorar.widgets.mixins'] = None\nimport dorar.widgets.console_panel")
    assert r.returncode != 0 and "ModuleNotFoundError" in r.stderr


def test_text_browser_is_a_find_capable_child_of_the_panel(panel):
    tb = panel.textBrowser
    assert isinstance(tb, cp.TextBrowserBase) and cp.TextBrowserBase.__bases__ == (QTextBrowser, BaseEditMixin)
    assert cp.TextBrowserBase.__doc__ == " Text browser with find/search support "
    assert tb.parentWidget() is panel and tb.isReadOnly()
    assert panel.layout().itemAt(1).widget() is tb  # the row above, the text below
    tb.setPlainText("alpha beta\nbeta gamma")
    assert tb.find_all("beta") == 2 and tb.find_text("gamma") and tb.get_selected_text() == "gamma"
    alone = cp.TextBrowserBase()
    assert alone.parentWidget() is None and alone.last_search is None
    alone.deleteLater()
    with pytest.raises(TypeError):
        cp.TextBrowserBase(None, None)


def test_default_row_holds_the_three_buttons_and_no_stretch(panel):
    items = row_items(panel)
    assert len(items) == 3 and not any(isinstance(i, QSpacerItem) for i in items)
    clear, dummy, help_btn = (i.widget() for i in items)
    assert [clear.toolTip(), dummy.toolTip()] == ["Clear text", "Do nothing"]
    assert [b.shortcut().toString() for b in (clear, dummy)] == ["Ctrl+L", ""]
    assert all(b.iconSize() == QSize(16, 16) and b.parentWidget() is panel for b in (clear, dummy, help_btn))
    assert [n for n in vars(panel) if not n.startswith("_")] == ["textBrowser"]
    for false in (0, "", None):
        p = cp.ConsolePanel(options_button=false)
        assert len(row_items(p)) == 3
        p.deleteLater()


def test_options_button_is_last_after_a_stretch_and_keeps_its_icon_size(qtbot):
    options = QPushButton("options")
    options.setIconSize(QSize(32, 32))
    p = cp.ConsolePanel(None, options)
    qtbot.addWidget(p)
    items = row_items(p)
    assert len(items) == 5 and isinstance(items[3], QSpacerItem)
    assert items[4].widget() is options and options.iconSize() == QSize(32, 32)
    row = p.layout().itemAt(0).layout()
    assert row.stretch(4) == 0 and items[4].alignment() == Qt.AlignRight
    with pytest.raises(TypeError):
        cp.ConsolePanel(None, None, "extra")
    with pytest.raises(TypeError):
        cp.ConsolePanel(name="console")


def test_buttons_and_help_go_through_the_host_helpers(panel, qtbot, monkeypatch):
    calls, icons = [], []
    real = qthelpers.create_toolbutton

    def create(*args, **kwargs):
        calls.append((args, list(kwargs)))
        return real(*args, **kwargs)

    def create_help(*args, **kwargs):
        calls.append((args, list(kwargs)))
        return qthelpers.create_toolbutton_help(*args, **kwargs)

    monkeypatch.setattr(cp, "create_toolbutton", create)
    monkeypatch.setattr(cp, "create_toolbutton_help", create_help)
    monkeypatch.setattr(cp, "ima", type("Ima", (), {"icon": staticmethod(lambda n: icons.append(n) or None)}))
    import dorar.config.base as base
    translated = []
    monkeypatch.setattr(base, "TRANSLATOR", lambda t: translated.append(t) or t.upper())
    buttons = panel.setup_buttons()
    assert isinstance(buttons, tuple) and len(buttons) == 3
    assert icons == ["clear_text", "fromcursor"]
    assert [c[0] for c in calls] == [(panel,)] * 3
    assert [c[1] for c in calls] == [["icon", "tip", "shortcut", "triggered"], ["icon", "tip"], ["triggered"]]
    assert [b.toolTip() for b in buttons[:2]] == ["CLEAR TEXT", "DO NOTHING"]
    assert buttons[0].shortcut().toString() == "Ctrl+L"  # the shortcut is not translated
    shown = []
    monkeypatch.setattr(cp, "QMessageBox", type("Box", (), {"information": staticmethod(
        lambda *a: shown.append(a) or 1024)}))
    qtbot.mouseClick(buttons[2], Qt.LeftButton)
    assert shown == [(panel, "HOW TO USE", HELP.upper())] and panel.show_help() is None
    assert translated[-4:] == ["How to use", HELP, "How to use", HELP]


def test_clear_button_and_ctrl_l_empty_the_text_the_dummy_does_nothing(panel, qtbot):
    clear, dummy = row_items(panel)[0].widget(), row_items(panel)[1].widget()
    tb = panel.textBrowser
    tb.append("some log line")
    qtbot.mouseClick(dummy, Qt.LeftButton)
    assert tb.toPlainText() == "some log line"
    qtbot.mouseClick(clear, Qt.LeftButton)
    assert tb.toPlainText() == ""

    tb.append("more")
    panel.show()
    qtbot.waitExposed(panel)
    QApplication.setActiveWindow(panel)
    qtbot.waitUntil(lambda: QApplication.activeWindow() is panel)
    qtbot.keyClick(panel, Qt.Key_L, Qt.ControlModifier)  # a shortcut animates a click: a moment later
    qtbot.waitUntil(lambda: tb.toPlainText() == "")


def test_help_box_shows_line_breaks_and_bold(panel, qtbot):
    from qtpy.QtCore import QTimer
    seen = {}

    def read_and_close():
        box = QApplication.activeModalWidget()
        if box is None:
            QTimer.singleShot(20, read_and_close)
            return
        seen.update(title=box.windowTitle(), text=box.text(), fmt=box.textFormat())
        box.done(0)

    QTimer.singleShot(0, read_and_close)
    panel.show_help()  # returns once the box is closed
    assert seen["title"] == "How to use" and seen["text"] == HELP
    assert Qt.mightBeRichText(seen["text"]) and seen["fmt"] in (Qt.AutoText, Qt.RichText)
