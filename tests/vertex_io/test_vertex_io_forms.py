"""The VSet, PLine and CSV import forms with their file preview, and the ASCII point export form."""
import importlib
import os
import sys

import pytest
from qtpy.QtCore import QMetaMethod, Qt
from qtpy.QtWidgets import QHBoxLayout, QLabel, QPushButton, QTextBrowser, QTextEdit, QWidget

from conftest import run_module, run_python, import_error_text
from dorar.gopoint.point import Point

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "forms"))
from formkit import Recorder, make, rows, translator  # noqa: F401 (fixtures)

VSET, PLINE, CSV, EXPORT = ("dorar.gopoint.impt.vertex_cloud_import", "dorar.goline.impt.polyline_import",
                            "dorar.gopoint.impt.table_import", "dorar.gopoint.expt.point_text_export")
HINT = "column number, name; default 3,X;4,Y;5,Z"
HELP = "<b>Example</b> <br>iteration, time, loss <br># comments... <br>1, 2, 10 <br>2, 4, 9 <br>"

# module, title, signal signature, class attributes and methods, labelled rows (what main prints)
FORMS = [
    (VSET, "Load Gocad vset file", "sig_start(QString,QString,QString)",
     ["NAME", "sig_start", "__init__", "setup_page", "load_lines", "apply"], ["Gocad vset file", "Columns", "Object name"]),
    (PLINE, "Load Gocad pline file", "sig_start(QString,QString,QString)",
     ["NAME", "sig_start", "__init__", "setup_page", "load_lines", "apply"], ["Gocad pline file", "Columns", "Object name"]),
    (CSV, "Load CSV file", "sig_start(QString,QString)",
     ["NAME", "HELP_BODY", "sig_start", "__init__", "setup_page", "load_lines", "apply"], ["CSV file", "Object name"]),
    (EXPORT, "Export ASCII file", "sig_start(QString,QString,QVariantList,QVariantList,QString,QString)",
     ["NAME", "sig_start", "__init__", "setup_page", "apply"], ["File", "Object", "Properties", "Formats", "Delimiter"]),
]
IDS = [f[0].rsplit(".", 1)[1] for f in FORMS]
IMPORTS = FORMS[:3]


def mod(dotted):
    return importlib.import_module(dotted)


@pytest.mark.parametrize("dotted,title,signature,members,labels", FORMS, ids=IDS)
def test_class_body(make, dotted, title, signature, members, labels):
    M = mod(dotted)
    assert M.Dialog.__bases__ == (M.QuickFormDialog,) and M.Dialog.NAME == title
    mo = M.Dialog.staticMetaObject
    assert [bytes(mo.method(i).methodSignature()).decode() for i in range(mo.methodOffset(), mo.methodCount())
            if mo.method(i).methodType() == QMetaMethod.Signal] == [signature]
    assert [k for k in vars(M.Dialog) if not k.startswith("__") or k == "__init__"] == members
    assert dotted != CSV or M.Dialog.HELP_BODY == HELP
    parent = QWidget()
    for d, given in ((make(M), None), (make(M, parent=parent), parent), (make(M, parent), parent)):
        assert d.parent() is given and d.windowTitle() == title and d.rows() == labels
        assert type(rows(d)[-1]).__name__ == "ActionRow"
    parent.deleteLater()


@pytest.mark.parametrize("dotted,title,signature,members,labels", IMPORTS, ids=IDS[:3])
def test_import_form_rows(translator, make, dotted, title, signature, members, labels):
    d = make(mod(dotted))
    r = rows(d)
    fields = [d.input] + ([d.columns] if dotted != CSV else []) + [d.object_name]
    assert r[:len(fields)] == fields and len(r) == len(fields) + 3
    hbox, browser = r[len(fields)], r[len(fields) + 1]
    assert isinstance(hbox, QHBoxLayout) and hbox.count() == 2 and hbox.itemAt(0).widget() is d.previewLines
    button = hbox.itemAt(1).widget()
    assert isinstance(button, QPushButton) and button.text() == "<Load>" and button.parent() is d
    assert browser is d.textBrowser and isinstance(browser, QTextBrowser) and browser.parent() is d
    assert browser.fontFamily() == "monospace" and browser.toPlainText() == ""
    assert d.previewLines.label.text() == "Preview lines" and d.previewLines.edit.text() == "50"
    assert d.object_name.edit.text() == "" and d.object_name.label.text() == "Object name"
    kind = {VSET: "VSet files (*.vs)", PLINE: "PLine files (*.pl)", CSV: "CSV files (*.csv)"}[dotted]
    assert d.input.filters == kind + ";;All files (*)" and not d.input.new
    assert translator[-2:] == [labels[0], "Load"]     # only the chooser label and the button in setup_page
    if dotted != CSV:
        assert d.columns.edit.text() == HINT and d.columns.label.text() == "Columns"
        assert d.columns.isEnabled() == (dotted == VSET)


@pytest.mark.parametrize("dotted", [VSET, PLINE, CSV], ids=IDS[:3])
def test_chooser_label_is_translated_before_the_filter_is_built(translator, make, monkeypatch, dotted):
    M = mod(dotted)
    monkeypatch.setattr(M, "FILTER_ALL_FILES", None)      # "... (*.vs)" + None fails
    with pytest.raises(TypeError):
        make(M)
    label = {VSET: "Gocad vset file", PLINE: "Gocad pline file", CSV: "CSV file"}[dotted]
    assert translator[-1:] == [label]


@pytest.mark.parametrize("dotted", [VSET, PLINE, CSV], ids=IDS[:3])
def test_import_requests(make, dotted):
    d = make(mod(dotted))
    rec = Recorder(d.sig_start)
    d.apply()
    untouched = {VSET: ("", HINT, ""), PLINE: ("", "3,X;4,Y;5,Z", ""), CSV: ("", "")}[dotted]
    assert rec.calls == [untouched]
    d.input.lineedit.edit.setText("  /data/a file.txt ")
    d.object_name.edit.setText(" obj ")
    if dotted != CSV:
        d.columns.edit.setText(" 3,X ; 4,Y;5,Z;6,P ")
    d.previewLines.edit.setText("not a count")          # never part of the request
    d.apply()
    d.apply()
    typed = {VSET: ("  /data/a file.txt ", " 3,X ; 4,Y;5,Z;6,P ", " obj "),
             PLINE: ("  /data/a file.txt ", "3,X;4,Y;5,Z", " obj "),
             CSV: ("  /data/a file.txt ", " obj ")}[dotted]
    assert rec.calls[1:] == [typed, typed] and all(type(x) is str for x in typed)


@pytest.fixture
def lines_file(tmp_path):
    def _file(n, end="\n", last_end=True, name="f.txt"):
        text = end.join("line %d" % i for i in range(1, n + 1)) + (end if last_end else "")
        path = tmp_path / name
        path.write_bytes(text.encode())
        return str(path)
    return _file


def preview(d, fn, count):
    d.input.lineedit.edit.setText(fn)
    d.previewLines.edit.setText(count)
    d.load_lines()
    return d.textBrowser.toPlainText()


@pytest.mark.parametrize("dotted", [VSET, PLINE, CSV], ids=IDS[:3])
def test_preview_counts(make, lines_file, dotted):
    d = make(mod(dotted))
    rec = Recorder(d.sig_start)
    fn = lines_file(200)
    assert preview(d, fn, "50") == "".join("line %d\n" % i for i in range(1, 51))
    assert preview(d, fn, " 7 ") == "".join("line %d\n" % i for i in range(1, 8))
    assert preview(d, lines_file(12, name="g.txt"), "500") == "".join("line %d\n" % i for i in range(1, 13))
    assert preview(d, fn, "0") == "" and preview(d, fn, "-3") == ""
    assert preview(d, lines_file(3, end="\r\n", last_end=False), "9") == "line 1\nline 2\nline 3"
    assert rec.calls == []


def test_preview_replaces_and_keeps_on_failure(make, lines_file, tmp_path):
    d = make(mod(CSV))
    rec = Recorder(d.sig_start)
    fn = lines_file(5)
    preview(d, fn, "2")
    preview(d, fn, "2")
    assert d.textBrowser.toPlainText() == "line 1\nline 2\n"          # shown once, not twice
    for count in ("", "2.5", "3 lines"):
        with pytest.raises(ValueError):
            preview(d, str(tmp_path / "missing"), count)              # the count is judged first
    with pytest.raises(FileNotFoundError):
        preview(d, str(tmp_path / "missing"), "0")                     # a count of 0 still opens the file
    with pytest.raises(OSError):
        preview(d, "", "5")
    bad = tmp_path / "bad.csv"
    bad.write_bytes(b"ok\n\xff\xfe\n")
    with pytest.raises(UnicodeDecodeError):
        preview(d, str(bad), "5")
    assert d.textBrowser.toPlainText() == "line 1\nline 2\n" and rec.calls == []
    assert preview(d, lines_file(3, name="other.csv"), "1") == "line 1\n"


def test_load_button_runs_the_preview(qtbot, make, lines_file):
    d = make(mod(VSET))
    button = rows(d)[3].itemAt(1).widget()
    d.input.lineedit.edit.setText(lines_file(4))
    d.previewLines.edit.setText("2")
    qtbot.mouseClick(button, Qt.LeftButton)
    assert d.textBrowser.toPlainText() == "line 1\nline 2\n"
    d.previewLines.edit.setText("x")
    with qtbot.captureExceptions() as raised:                        # leaves the click handler
        qtbot.mouseClick(button, Qt.LeftButton)
    assert [type(e[1]) for e in raised] == [ValueError] and d.textBrowser.toPlainText() == "line 1\nline 2\n"


def test_export_rows(translator, make):
    d = make(mod(EXPORT))
    r = rows(d)
    assert r[:5] == [d.output, d.grabob, d.props, d.formats, d.delim] and len(r) == 8
    assert isinstance(r[5], QLabel) and r[5].text() == "<Header lines>" and r[6] is d.textEdit
    assert isinstance(d.textEdit, QTextEdit) and d.textEdit.parent() is d and d.textEdit.fontFamily() == "monospace"
    assert d.output.new and d.output.filters is None and d.grabob.geom == ["Point"]
    assert [d.props.edit.text(), d.formats.edit.text(), d.delim.edit.text()] == ["X, Y, Z", "%.18e", "comma"]
    assert translator[-6:] == ["File", "Object", "Properties", "Formats", "Delimiter", "Header lines"]
    assert not hasattr(d, "load_object")


def test_export_request_untouched_and_picked(make):
    d = make(mod(EXPORT))
    rec = Recorder(d.sig_start)
    d.apply()
    d.grabob.pick(Point("pts"))                     # fills the picker only
    d.apply()
    assert rec.calls == [("", "", ["X", "Y", "Z"], ["%.18e"], "comma", ""),
                         ("", "pts", ["X", "Y", "Z"], ["%.18e"], "comma", "")]
    assert d.props.edit.text() == "X, Y, Z"


@pytest.mark.parametrize("props,formats,delim,header,expected", [
    (" a ,b,  c", "%d", " TAB ", "# one\n# two", (["a", "b", "c"], ["%d"], " tab ", "# one\n# two")),
    ("a,b,", "%.2f,,%d", "Space", "", (["a", "b", ""], ["%.2f", "", "%d"], "space", "")),
    ("", "   ", "", "x", ([""], [""], "", "x")),
    ("X", "%5.1f, %d", "comma", "h\n", (["X"], ["%5.1f", "%d"], "comma", "h\n")),
])
def test_export_request_conversions(make, props, formats, delim, header, expected):
    d = make(mod(EXPORT))
    d.output.lineedit.edit.setText(" out.txt ")
    d.props.edit.setText(props)
    d.formats.edit.setText(formats)
    d.delim.edit.setText(delim)
    d.textEdit.setPlainText(header)
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [(" out.txt ", "") + expected]
    assert [type(x) for x in rec.last] == [str, str, list, list, str, str]


def test_import_order_translation_and_a_missing_filter():
    r = run_python(
        "import builtins\n"
        "order, real = [], builtins.__import__\n"
        "builtins.__import__ = lambda name, *a, **k: (order.append(name), real(name, *a, **k))[1]\n"
        "from dorar.config import base\n"
        "base.TRANSLATOR = lambda t: 'fr:' + t\n"
        "import dorar.gopoint.impt.table_import as C\n"
        "builtins.__import__ = real\n"
        "keep = ('qtpy.QtCore', 'qtpy.QtWidgets', 'dorar.config.base', 'dorar.widgets.quickform', 'dorar.utils.envars')\n"
        "print([n for i, n in enumerate(order) if n in keep and n not in order[:i]])\n"
        "from qtpy.QtWidgets import QApplication\n"
        "print('app', QApplication.instance())\n"
        "app = QApplication([])\n"
        "base.TRANSLATOR = lambda t: 'de:' + t\n"
        "d = C.Dialog()\n"
        "print(C.Dialog.NAME, '|', C.Dialog.HELP_BODY[:17], '|', d.rows())\n"
        "import dorar.utils.envars as e\n"
        "del e.FILTER_ALL_FILES\n"
        "try:\n"
        "    import dorar.goline.impt.polyline_import\n"
        "except ImportError as exc:\n"
        "    print(exc)\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "['qtpy.QtCore', 'qtpy.QtWidgets', 'dorar.config.base', 'dorar.widgets.quickform', 'dorar.utils.envars']",
        "app None",
        "fr:Load CSV file | fr:<b>Example</b> | ['de:CSV file', 'Object name']",
        import_error_text('FILTER_ALL_FILES', 'dorar.utils.envars')]


@pytest.mark.parametrize("dotted,title,signature,members,labels", FORMS, ids=IDS)
def test_main_through_the_runner(dotted, title, signature, members, labels):
    r = run_module(dotted, env={"DORAR_FORM_CLOSE_AFTER": "50"}, timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["shown: " + title] + ["row: " + label for label in labels]


def test_preview_closes_the_file(make, lines_file, tmp_path, monkeypatch):
    M = mod(PLINE)
    opened = []

    def tracking_open(*args, **kwargs):
        f = open(*args, **kwargs)
        opened.append(f)
        return f
    monkeypatch.setattr(M, "open", tracking_open, raising=False)
    d = make(M)
    preview(d, lines_file(3), "1")
    bad = tmp_path / "bad.pl"
    bad.write_bytes(b"\xff\n")
    with pytest.raises(UnicodeDecodeError):
        preview(d, str(bad), "1")
    assert len(opened) == 2 and all(f.closed for f in opened)
