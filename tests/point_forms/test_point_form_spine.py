"""What the four point-set forms share: class body, constructor, translation, import, main."""
import importlib

import pytest
from qtpy.QtCore import QMetaMethod
from qtpy.QtWidgets import QWidget

from conftest import run_module, run_python, import_error_text
from pointkit import make, rows  # noqa: F401 (fixture)

VALUE_HELP = "If no limit on minimum value, leave it blank.<br>If no limit on maximum value, leave it blank.<br>"
LINE_HELP = "This is applicable to vertex-based objects.<br>"

# module, title, help, signal signature, methods after __init__, labels of the rows,
# the texts that pass through `_` in each setup_page
FORMS = [
    ("dorar.gopoint.new.value_window_select", "Subset from property value range", VALUE_HELP,
     "sig_start(QString,QString,QString,PyQt_PyObject,PyQt_PyObject)", ["setup_page", "apply", "load_object"],
     ["Input Point", "Output Point", "Property", "Minimum value", "Maximum value"],
     ["Input Point", "Output Point", "Property", "Minimum value", "Maximum value"]),
    ("dorar.gopoint.new.cloud_join", "New point from merging points", None,
     "sig_start(QString,QString)", ["setup_page", "apply"],
     ["Input Points", "Output Point"],
     ["Input Points", "points separated by comma", "Output Point"]),
    ("dorar.gopoint.edit.grid_labelling", "Calculate line numbers", LINE_HELP,
     "sig_start(QString,QString,QString)", ["setup_page", "apply"],
     ["Object", "Property I", "Property J"],
     ["Object", "Property I", "ILINE_NO", "Property J", "XLINE_NO"]),
    ("dorar.gopoint.edit.fence_clip", "Select vertexes inside of polygon", None,
     "sig_start(QString,QString)", ["setup_page", "apply"],
     ["Input Point", "Polygon"],
     ["Input Point", "Polygon"]),
]
IDS = [f[0].rsplit(".", 1)[1] for f in FORMS]
DOTTED = [f[0] for f in FORMS]


@pytest.mark.parametrize("dotted,title,help_body,signature,methods,labels,texts", FORMS, ids=IDS)
def test_class_body_and_constructor(make, dotted, title, help_body, signature, methods, labels, texts):
    M = importlib.import_module(dotted)
    assert M.Dialog.__bases__ == (M.QuickFormDialog,) and M.Dialog.NAME == title
    assert M.__doc__ is None and M.Dialog.__doc__ is None
    assert [k for k in vars(M) if not k.startswith("__")] == ["Signal", "_", "QuickFormDialog", "Dialog", "main"]
    mo = M.Dialog.staticMetaObject
    signals = [bytes(mo.method(i).methodSignature()).decode() for i in range(mo.methodOffset(), mo.methodCount())
               if mo.method(i).methodType() == QMetaMethod.Signal]
    assert signals == [signature]
    head = ["NAME", "HELP_BODY"] if help_body else ["NAME"]
    assert [k for k in vars(M.Dialog) if not k.startswith("__") or k == "__init__"] == \
        head + ["sig_start", "__init__"] + methods
    assert getattr(M.Dialog, "HELP_BODY", None) == help_body
    parent = QWidget()
    for d, given in ((make(M), None), (make(M, parent=parent), parent), (make(M, parent), parent)):
        assert d.parent() is given and d.windowTitle() == title and d.rows() == labels
        kinds = [type(r).__name__ for r in rows(d)]
        assert len(kinds) == len(labels) + 1 and kinds[-1] == "ActionRow"     # setup_page ran once
        assert d.object is None and getattr(d, "helpMessage", None) == help_body
    parent.deleteLater()


def test_imports_in_order_show_nothing_and_fail_on_a_missing_name():
    r = run_python(
        "import builtins\n"
        "order, real = [], builtins.__import__\n"
        "builtins.__import__ = lambda name, *a, **k: (order.append(name), real(name, *a, **k))[1]\n"
        "import dorar.gopoint.new.value_window_select\n"
        "builtins.__import__ = real\n"
        "keep = ('qtpy.QtCore', 'dorar.config.base', 'dorar.widgets.quickform')\n"
        "print([n for i, n in enumerate(order) if n in keep and n not in order[:i]])\n"
        "import %s\n"
        "from qtpy.QtWidgets import QApplication\n"
        "print('app', QApplication.instance())\n"
        "import dorar.widgets.quickform as q\n"
        "del q.QuickFormDialog\n"
        "try:\n"
        "    import dorar.gopoint.edit.fence_clip\n"
        "except ImportError as e:\n"
        "    print(e)\n" % ", ".join(DOTTED[1:3]),
        env={"DORAR_FORM_CLOSE_AFTER": "0"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "['qtpy.QtCore', 'dorar.config.base', 'dorar.widgets.quickform']", "app None",
        import_error_text('QuickFormDialog', 'dorar.widgets.quickform')]


def test_title_and_help_translated_once_at_import_labels_at_each_construction():
    code = ["from qtpy.QtWidgets import QApplication",
            "from dorar.config import base",
            "seen = []",
            "base.TRANSLATOR = lambda t: (seen.append(t), 'fr:' + t)[1]",
            "import importlib",
            "mods = [importlib.import_module(n) for n in %r]" % DOTTED,
            "print(seen); del seen[:]",
            "app = QApplication([])",
            "base.TRANSLATOR = lambda t: (seen.append(t), 'de:' + t)[1]",
            "for M in mods:",
            "    for _ in range(2):",
            "        d = M.Dialog()",
            "        print(M.Dialog.NAME, '|', getattr(M.Dialog, 'HELP_BODY', '-')[:9], '|', d.windowTitle(),"
            " '|', d.rows()[0], '|', seen); del seen[:]"]
    r = run_python("\n".join(code) + "\n")
    assert r.returncode == 0, r.stderr
    out = r.stdout.splitlines()
    at_import = []
    for f in FORMS:
        at_import += [f[1]] + ([f[2]] if f[2] else [])
    assert out[0] == repr(at_import)
    expected = []
    for dotted, title, help_body, _s, _m, labels, texts in FORMS:
        line = "fr:%s | %s | fr:%s | de:%s | %r" % (title, ("fr:" + help_body)[:9] if help_body else "-",
                                                   title, labels[0], texts)
        expected += [line, line]
    assert out[1:] == expected


@pytest.mark.parametrize("dotted,title,help_body,signature,methods,labels,texts", FORMS, ids=IDS)
def test_main_through_the_runner(dotted, title, help_body, signature, methods, labels, texts):
    r = run_module(dotted, env={"DORAR_FORM_CLOSE_AFTER": "50"}, timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["shown: " + title] + ["row: " + label for label in labels]


def test_main_starts_its_own_application_without_the_command_line_and_returns_none():
    r = run_python(
        "import sys\n"
        "import qtpy.QtWidgets as W\n"
        "class App(W.QApplication):\n"
        "    def __init__(self, args):\n"
        "        print('argv', args)\n"
        "        super().__init__(args)\n"
        "W.QApplication = App\n"
        "from dorar.gopoint.edit import grid_labelling as G\n"
        "sys.argv = ['prog', '-style', 'nonexistent']\n"
        "print('returned', G.main())\n",
        env={"DORAR_FORM_CLOSE_AFTER": "20"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["argv []", "shown: Calculate line numbers", "row: Object",
                                     "row: Property I", "row: Property J", "returned None"]
