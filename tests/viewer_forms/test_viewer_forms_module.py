"""What the three viewer and help forms share: class body, constructor, imports, translation, main."""
import importlib

import pytest
from qtpy.QtCore import QMetaMethod

from conftest import run_module, run_python, import_error_text
from viewerkit import MainWindow, make, rows  # noqa: F401 (fixture)

RAY_HELP = "Sphere radius for ray casting.<br>"
BUG_HELP = ("Please copy-n-paste the error message in the Process log (if any). Please explain briefly what you "
            "were doing when the bug occurred. Please add anything that can help me reproduce the error. Thanks "
            "for your time and contribution to improving dorar.")

# module, title, help, signals, class attributes in order, labels of the labelled rows
FORMS = [
    ("dorar.dialogs.view_scaling", "Set viewer aspect ratio", None, ["sigApply(QString,double)"],
     ["NAME", "sigApply", "__init__", "setup_page", "set_method", "load_state", "apply"], ["Fixed ratio Y/X"]),
    ("dorar.dialogs.pick_probe", "Ray casting", RAY_HELP, [],
     ["NAME", "HELP_BODY", "__init__", "setup_page", "load", "apply"], ["Pick radius", "Sphere radius"]),
    ("dorar.dialogs.issue_mailer", "Report bug", BUG_HELP, [],
     ["NAME", "HELP_BODY", "__init__", "setup_page", "apply"], ["Email server", "Sender", "Receivers", "Subject"]),
]
IDS = [f[0].rsplit(".", 1)[1] for f in FORMS]


@pytest.mark.parametrize("dotted,title,help_body,signals,names,labels", FORMS, ids=IDS)
def test_class_body_and_constructor(make, qtbot, dotted, title, help_body, signals, names, labels):
    M = importlib.import_module(dotted)
    assert M.Dialog.__bases__ == (M.QuickFormDialog,) and M.Dialog.NAME == title
    assert getattr(M.Dialog, "HELP_BODY", None) == help_body
    mo = M.Dialog.staticMetaObject
    assert [bytes(mo.method(i).methodSignature()).decode() for i in range(mo.methodOffset(), mo.methodCount())
            if mo.method(i).methodType() == QMetaMethod.Signal] == signals
    assert [k for k in vars(M.Dialog) if not k.startswith("__") or k == "__init__"] == names
    assert [k for k in vars(M) if not k.startswith("__") and k not in ("Dialog", "main")] == \
        {"view_scaling": ["Signal", "QLabel", "QRadioButton", "QHBoxLayout", "QButtonGroup", "_", "QuickFormDialog"],
         "pick_probe": ["_", "QuickFormDialog"],
         "issue_mailer": ["QTextEdit", "_", "QuickFormDialog", "send_email"]}[dotted.rsplit(".", 1)[1]]
    window = MainWindow()
    qtbot.addWidget(window)
    for d in (make(M, window), make(M, parent=window)):
        assert d.parent() is window and d.windowTitle() == title and d.rows() == labels
        assert [type(r).__name__ for r in rows(d)].count("ActionRow") == 1          # setup_page ran once
        assert type(rows(d)[-1]).__name__ == "ActionRow"
        assert getattr(d, "helpMessage", None) == help_body
    if dotted.endswith("pick_probe"):
        return                                   # a parentless ray-casting form has no canvas
    d = make(M)
    assert d.parent() is None and d.rows() == labels


def test_documentation_texts():
    from dorar.dialogs import issue_mailer, pick_probe, view_scaling
    assert view_scaling.__doc__ == "Dialog for change plot aspect ratio."
    assert pick_probe.__doc__ is None and issue_mailer.__doc__ is None
    assert view_scaling.Dialog.load_state.__doc__ == \
        "\n        -i- state : dictionary.\n        Load current state and show it in dialog.\n        "


def test_imports_in_order_show_nothing_and_fail_on_a_missing_name():
    r = run_python(
        "import builtins\n"
        "order, real = [], builtins.__import__\n"
        "builtins.__import__ = lambda name, *a, **k: (order.append(name), real(name, *a, **k))[1]\n"
        "import dorar.dialogs.issue_mailer\n"
        "builtins.__import__ = real\n"
        "keep = ('qtpy.QtWidgets', 'dorar.config.base', 'dorar.widgets.quickform', 'dorar.utils.send_email')\n"
        "print([n for i, n in enumerate(order) if n in keep and n not in order[:i]])\n"
        "import dorar.dialogs.view_scaling, dorar.dialogs.pick_probe\n"
        "from qtpy.QtWidgets import QApplication\n"
        "print('app', QApplication.instance())\n"
        "import dorar.utils.send_email as s\n"
        "del s.send_email\n"
        "import sys\n"
        "del sys.modules['dorar.dialogs.issue_mailer']\n"
        "try:\n"
        "    import dorar.dialogs.issue_mailer\n"
        "except ImportError as e:\n"
        "    print(e)\n",
        env={"DORAR_FORM_CLOSE_AFTER": "0"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "['qtpy.QtWidgets', 'dorar.config.base', 'dorar.widgets.quickform', 'dorar.utils.send_email']",
        "app None", import_error_text('send_email', 'dorar.utils.send_email')]


def test_titles_translated_once_at_import_labels_at_each_construction():
    r = run_python(
        "from qtpy.QtWidgets import QApplication\n"
        "from dorar.config import base\n"
        "base.TRANSLATOR = lambda t: 'fr:' + t\n"
        "from dorar.dialogs import view_scaling as V, pick_probe as P, issue_mailer as I\n"
        "app = QApplication([])\n"
        "base.TRANSLATOR = lambda t: 'de:' + t\n"
        "for M in (V, I):\n"
        "    d = M.Dialog()\n"
        "    print(M.Dialog.NAME, '|', d.windowTitle(), '|', d.rows()[0])\n"
        "print(P.Dialog.NAME, '|', P.Dialog.HELP_BODY, '|', I.Dialog.HELP_BODY[:12])\n"
        "d = V.Dialog()\n"
        "d.rbFixed.setChecked(True)\n"
        "d.sigApply.connect(lambda *a: print(*a))\n"
        "d.apply()\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "fr:Set viewer aspect ratio | fr:Set viewer aspect ratio | de:Fixed ratio Y/X",
        "fr:Report bug | fr:Report bug | de:Email server",
        "fr:Ray casting | fr:Sphere radius for ray casting.<br> | fr:Please co",
        "Fixed 1.0"]


@pytest.mark.parametrize("dotted,title,help_body,signals,names,labels", FORMS, ids=IDS)
def test_main_through_the_runner(dotted, title, help_body, signals, names, labels):
    r = run_module(dotted, env={"DORAR_FORM_CLOSE_AFTER": "50"}, timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["shown: " + title] + ["row: " + label for label in labels]


def test_main_shows_a_new_form_and_returns():
    r = run_python(
        "from qtpy.QtWidgets import QApplication\n"
        "from dorar.dialogs import view_scaling as V, pick_probe as P\n"
        "made = []\n"
        "class Watched(V.Dialog):\n"
        "    def __init__(self, *args, **kwargs):\n"
        "        super().__init__(*args, **kwargs)\n"
        "        made.append((args, kwargs, self.method, self.ratio.edit.text(), self.ratio.isEnabled(),\n"
        "                     QApplication.instance().arguments()))\n"
        "real = V.Dialog\n"
        "V.Dialog = Watched\n"
        "print('returned', V.main())\n"
        "print(made)\n"
        "print('returned', P.main())\n",
        env={"DORAR_FORM_CLOSE_AFTER": "20"})
    assert r.returncode == 0, r.stderr
    lines = [l for l in r.stdout.splitlines() if not l.startswith(("shown:", "row:"))]
    assert lines == ["returned None", "[((), {}, 'Equal', '1.0', False, [])]", "returned None"]
