"""The house helper, seen through a probe module built with it."""
import json
import sys

import pytest

from conftest import run_module, run_python

QtCore = pytest.importorskip("qtpy.QtCore")


@pytest.fixture(scope="module")
def probe():
    from testmods import helper_probe
    return helper_probe


def test_class_is_built_once_from_its_python_base(probe):
    cls = probe.Emitter
    assert issubclass(cls, QtCore.QObject)
    assert cls.__module__ == "testmods.helper_probe" and cls.__qualname__ == "Emitter"
    assert cls.NAME == "probe"
    assert cls.__doc__ == "Emits its request once per apply."
    assert cls.apply.__doc__ == "Emit sig_start with the text and the count."


def test_signal_declared_in_the_namespace_is_a_bound_qt_signal(probe):
    e = probe.Emitter()
    got = []
    e.sig_start.connect(lambda text, n: got.append((text, n)))
    e.apply("a")
    e.apply("b")
    assert got == [("a", 1), ("b", 2)]


def test_init_runs_super_and_methods_bind_like_def(probe):
    parent = QtCore.QObject()
    e = probe.Emitter(parent)
    assert e.parent() is parent and e.count == 0
    e.apply("x")
    assert e.doubled == 2
    bound = e.apply
    assert bound.__self__ is e


def test_class_is_collected_with_its_instances_gone():
    # A strong class reference held by the methods would keep the class alive for good.
    r = run_python(
        "import gc, weakref\n"
        "from testmods import helper_probe as h\n"
        "w = weakref.ref(h.Emitter)\n"
        "del h.Emitter; import sys; del sys.modules['testmods.helper_probe']; del h\n"
        "gc.collect(); print('alive' if w() is not None else 'gone')\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "gone"


def test_globals_are_looked_up_at_call_time(probe, monkeypatch):
    assert probe.lookup("np") is sys.modules["numpy"]
    monkeypatch.setattr(probe, "np", "replaced")
    assert probe.lookup("np") == "replaced"
    assert probe.lookup("len") is len
    with pytest.raises(NameError, match="no_such_global"):
        probe.lookup("no_such_global")


def test_from_import_of_a_missing_name_raises_import_error(probe):
    with pytest.raises(ImportError, match="cannot import name 'no_such_name' from 'os.path'"):
        probe.missing_import()


def test_guard_fires_only_as_main_program():
    imported = run_python("import testmods.helper_probe as h; print('imported', h.__name__)")
    assert imported.returncode == 0, imported.stderr
    assert imported.stdout == "imported testmods.helper_probe\n"
    main = run_module("testmods.helper_probe")
    assert main.returncode == 0, main.stderr
    assert main.stdout == "main ran\n"


BUILTINS_OF_THE_MODULE = r"""
import builtins, importlib.util, json
from dorar.gosurvey.impt import survey_loader as L
from dorar.gocube import geometry_facts as F
with open("s.sgmt", "w") as f:
    f.write("".join("P%d_%s %d\n" % (i // 4 + 1, k, i) for i, k in enumerate(["ILNO", "XLNO", "CRSX", "CRSY"] * 3)))
with open("g.txt", "w") as f:
    f.write("MINIMUM_INLINE_NUMBER 7\nX_ORIGIN 2.5\n")
L.myprint = lambda *a: None
del F._  # the table's title falls back to the builtin
builtins._ = lambda text: "module's " + text
F.list2table = lambda rows, names, tableName: tableName
def refuse(*a): raise RuntimeError("the caller's builtin")
caller = dict(vars(builtins), open=refuse, int=refuse, float=refuse, _=refuse)
def run(call, ns):
    try:
        return eval(call, ns)
    except Exception as e:
        return "%s: %s" % (type(e).__name__, e)
rows = [run(c, {"__builtins__": b, "L": L, "F": F}) for c, b in [
    ("L.read_sgmt('s.sgmt')['P3_CRSY']", {}),
    ("L.read_gridsheet('g.txt')", caller),
    ("L.read_sgmt_old('s.sgmt')[2]", caller),
    ("F.dict_sgmt_table({k: 0 for k in L.read_sgmt('s.sgmt')})", caller)]]
# A module given builtins of its own as it loads uses them, in a function with a frame (lookup) or
# without (read_sgmt).
opened = []
for name in ("testmods.helper_probe", "dorar.gosurvey.impt.survey_loader"):
    spec = importlib.util.find_spec(name)
    own = importlib.util.module_from_spec(spec)
    own.__builtins__ = dict(vars(builtins), open=lambda *a: opened.append(a[0]) or open(*a))
    spec.loader.exec_module(own)
    own.myprint = L.myprint
    rows.append(own.lookup("open")("s.sgmt").close() if name.startswith("testmods") else own.read_sgmt("g.txt"))
print(json.dumps(rows + [opened]))
"""


def test_module_functions_use_their_own_modules_builtins_whoever_calls(tmp_path):
    # Called from code with other builtins (none at all, or ones that refuse), the functions
    # without a frame of their own (built-in functions) as well as those with one use the builtins
    # their module had as it loaded.
    r = run_python(BUILTINS_OF_THE_MODULE, cwd=str(tmp_path))
    assert r.returncode == 0, r.stderr
    assert json.loads(r.stdout) == [
        11, {"P1_ILNO": 7, "P2_ILNO": 7, "P1_CRSX": 2.5}, 2, "module's Survey geometry", None, {},
        ["s.sgmt", "g.txt"]]


@pytest.mark.parametrize("dotted", ["dorar.no_such_module", "dorar.gocub.cut", "demo.live_console_demo",
                                    "dorar.gocube.cut.cut_cube"])
def test_runner_refuses_an_unknown_module_in_one_line(dotted):
    r = run_module(dotted)
    assert (r.returncode, r.stderr) == (1, "run-module: no module named %r\n" % dotted)
