"""What the five cube forms share: class body, constructor, translation, import, main."""
import importlib

import pytest
from qtpy.QtCore import QMetaMethod
from qtpy.QtWidgets import QWidget

from conftest import run_module, run_python, import_error_text
from formkit import make, rows  # noqa: F401 (fixture)

# module, title, signal signature, methods after __init__, labels of the labelled rows
FORMS = [
    ("dorar.gocube.new.of_grid_index", "New cube from volume indexes",
     "sig_start(PyQt_PyObject,QString,QString,QString)", ["setup_page", "set_method", "apply"],
     ["New cube", "Property"]),
    ("dorar.gocube.new.region_carve", "Extract subcube from an existing cube",
     "sig_start(QString,QString,PyQt_PyObject)", ["setup_page", "apply", "load_object"],
     ["Existing cube", "New cube"]),
    ("dorar.gocube.expt.parms", "Export cube to parms file",
     "sig_start(QString,QString,QString)", ["setup_page", "apply", "load_object"],
     ["Output cube", "Property", "Parms name"]),
    ("dorar.gocube.expt.voxet", "Export cube to voxet file",
     "sig_start(QString,QString,QString)", ["setup_page", "apply"],
     ["Output cube", "Properties", "Voxet name"]),
    ("dorar.gocube.tool.horizon_gate", "Create mask by gsurface",
     "sig_start(QString,QString,QString,int)", ["setup_page", "apply"],
     ["Input cube", "Input gsurface", "Cube property", "Number of threads"]),
]
IDS = [f[0].rsplit(".", 1)[1] for f in FORMS]


@pytest.mark.parametrize("dotted,title,signature,methods,labels", FORMS, ids=IDS)
def test_class_body_and_constructor(make, dotted, title, signature, methods, labels):
    M = importlib.import_module(dotted)
    assert M.Dialog.__bases__ == (M.QuickFormDialog,) and M.Dialog.NAME == title
    mo = M.Dialog.staticMetaObject
    signals = [bytes(mo.method(i).methodSignature()).decode() for i in range(mo.methodOffset(), mo.methodCount())
               if mo.method(i).methodType() == QMetaMethod.Signal]
    assert signals == [signature]
    assert [k for k in vars(M.Dialog) if not k.startswith("__") or k == "__init__"] == \
        ["NAME", "sig_start", "__init__"] + methods           # no HELP_BODY in these five
    parent = QWidget()
    for d, given in ((make(M), None), (make(M, parent=parent), parent), (make(M, parent), parent)):
        assert d.parent() is given and d.windowTitle() == title and d.rows() == labels
        assert [type(r).__name__ for r in rows(d)].count("ActionRow") == 1      # setup_page ran once
        assert type(rows(d)[-1]).__name__ == "ActionRow"
    parent.deleteLater()


def test_imports_in_order_show_nothing_and_fail_on_a_missing_name():
    r = run_python(
        "import builtins\n"
        "order, real = [], builtins.__import__\n"
        "builtins.__import__ = lambda name, *a, **k: (order.append(name), real(name, *a, **k))[1]\n"
        "import dorar.gocube.tool.horizon_gate\n"
        "builtins.__import__ = real\n"
        "keep = ('os', 'qtpy.QtCore', 'dorar.config.base', 'dorar.widgets.quickform')\n"
        "print([n for i, n in enumerate(order) if n in keep and n not in order[:i]])\n"
        "import dorar.gocube.new.of_grid_index, dorar.gocube.expt.parms, dorar.gocube.expt.voxet\n"
        "from qtpy.QtWidgets import QApplication\n"
        "print('app', QApplication.instance())\n"
        "import dorar.gocube.function as f\n"
        "del f.vidx_dict2list, f.vidx_format_dtype\n"
        "calls = []\n"
        "builtins.__import__ = lambda name, *a: (calls.append((name,) + a[2:3]), real(name, *a))[1]\n"
        "try:\n"
        "    import dorar.gocube.new.region_carve\n"
        "except ImportError as e:\n"
        "    print(e)\n"
        "print([c for c in calls if c[0] == 'dorar.gocube.function'])\n",
        env={"DORAR_FORM_CLOSE_AFTER": "0"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "['os', 'qtpy.QtCore', 'dorar.config.base', 'dorar.widgets.quickform']", "app None",
        # the sub-cube form takes both host helpers in one import, in this order
        import_error_text('vidx_dict2list', 'dorar.gocube.function'),
        "[('dorar.gocube.function', ('vidx_dict2list', 'vidx_format_dtype'))]"]


def test_titles_translated_once_at_import_labels_at_each_construction():
    r = run_python(
        "from qtpy.QtWidgets import QApplication\n"
        "from dorar.config import base\n"
        "base.TRANSLATOR = lambda t: 'fr:' + t\n"
        "from dorar.gocube.tool import horizon_gate as H\n"
        "from dorar.gocube.new import of_grid_index as N\n"
        "app = QApplication([])\n"
        "base.TRANSLATOR = lambda t: 'de:' + t\n"
        "d = H.Dialog()\n"
        "print(H.Dialog.NAME, '|', d.windowTitle(), '|', d.rows()[0])\n"
        "print(N.Dialog.NAME, '|', N.Dialog().rows()[0])\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["fr:Create mask by gsurface | fr:Create mask by gsurface | de:Input cube",
                                     "New cube from volume indexes | de:New cube"]


@pytest.mark.parametrize("dotted,title,signature,methods,labels", FORMS, ids=IDS)
def test_main_through_the_runner(dotted, title, signature, methods, labels):
    r = run_module(dotted, env={"DORAR_FORM_CLOSE_AFTER": "50"}, timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["shown: " + title] + ["row: " + label for label in labels]


def test_main_returns_and_propagates_a_failing_step():
    r = run_python(
        "from dorar.gocube.expt import voxet as V\n"
        "print('returned', V.main())\n"                  # the form closes itself; main returns
        "class Broken:\n"
        "    def __init__(self): raise RuntimeError('no form')\n"
        "V.Dialog = Broken\n"
        "try:\n"
        "    V.main()\n"
        "except RuntimeError as e:\n"
        "    print('raised', e)\n",
        env={"DORAR_FORM_CLOSE_AFTER": "20"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[-2:] == ["returned None", "raised no form"]
