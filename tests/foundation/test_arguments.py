"""Functions made by the house helper bind their arguments as a `def` with the same signature does.

Each function is paired with a twin `def` of the declared signature; for every call, good or bad,
both must give the same values or the same TypeError text.
"""
import importlib
import inspect
import os
import re

import pytest

from conftest import SITE, run_python

QtCore = pytest.importorskip("qtpy.QtCore")
from dorar.widgets.quickform import QuickFormDialog  # noqa: E402


def outcome(fn, args, kwargs):
    try:
        return fn(*args, **kwargs)
    except TypeError as e:
        return "TypeError: %s" % e


def builtin_twin(fn):
    """A one-argument built-in function (id) that reports its refusals under FN's name."""
    def twin(*args, **kwargs):
        try:
            id(*args, **kwargs)
        except TypeError as e:
            raise TypeError(str(e).replace("id()", "%s.%s()" % (fn.__module__, fn.__qualname__), 1)) from None
        return "ran"
    return twin


def twin_of(fn):
    """A def with FN's declared signature (every default None), named and qualified as FN, that
    returns "ran"; for a single positional-only parameter, a one-argument built-in function, as the
    interpreter makes it."""
    sig = inspect.signature(fn)
    if [(p.kind, p.default) for p in sig.parameters.values()] == [(inspect.Parameter.POSITIONAL_ONLY, sig.empty)]:
        return builtin_twin(fn)
    params = [p.replace(default=None) if p.default is not p.empty else p for p in sig.parameters.values()]
    ns = {}
    exec("def %s%s: return 'ran'" % (fn.__name__, sig.replace(parameters=params)), ns)
    twin = ns[fn.__name__]
    twin.__qualname__ = fn.__qualname__
    return twin


def same(fn, twin, calls):
    for args, kwargs in calls:
        assert outcome(fn, args, kwargs) == outcome(twin, args, kwargs), (fn.__qualname__, args, kwargs)


BAD = [((), {}), ((1,), {}), ((1,) * 9, {}), ((1, 2), {"x": 1}), ((1,), {"a": 1}), ((1, 2, 3), {"a": 1, "b": 2}),
       ((), {1: 2}), ((1,), {"zz": 1, 1: 2})]


@pytest.fixture(scope="module")
def probe():
    from testmods import helper_probe
    return helper_probe


# Twins of the probe's functions.
def plain(a, b, c=3, d=None):
    return a, b, c, d


def starred(a, *args, b, c=3, **kwargs):
    return a, args, b, c, kwargs


def keyword_only(a, *, b, c=None):
    return a, b, c


def positional_only(a, b=2, /, c=3):
    return a, b, c


def collector(a, /, **kwargs):
    return a, kwargs


class Emitter(QtCore.QObject):
    def __init__(self, parent=None):
        QtCore.QObject.__init__(self, parent)

    def apply(self, text):
        return text


def test_every_kind_of_signature_binds_as_a_def_does(probe):
    calls = BAD + [((1, 2), {}), ((1, 2, 3, 4, 5), {}), ((1,), {"b": 2, "c": 5, "d": 6}), ((), {"a": 1, "b": 2}),
                   ((1, 2, 3), {"b": 4, "zz": 5}), ((1, 2), {"b": 2}), ((1,), {"b": 2, "a": 3}),
                   ((1, 2, 3, 4, 5), {"c": 1}), ((1, 2, 3), {"c": 9}), ((1,), {"d": 4})]
    for twin in (plain, starred, keyword_only, positional_only, collector):
        fn = getattr(probe, twin.__name__)
        assert str(inspect.signature(fn)) == str(inspect.signature(twin))
        same(fn, twin, calls)
    # the texts themselves, as the interpreter words them
    assert outcome(probe.plain, (1, 2, 3, 4, 5, 6), {}) == \
        "TypeError: plain() takes from 2 to 4 positional arguments but 6 were given"
    assert outcome(probe.plain, (), {}) == "TypeError: plain() missing 2 required positional arguments: 'a' and 'b'"
    assert outcome(probe.keyword_only, (1, 2, 3), {"b": 1}) == ("TypeError: keyword_only() takes 1 positional "
                                                              "argument but 3 positional arguments (and 1 "
                                                              "keyword-only argument) were given")
    assert outcome(probe.positional_only, (), {"a": 1, "b": 2}) == ("TypeError: positional_only() got some "
                                                                   "positional-only arguments passed as keyword "
                                                                   "arguments: 'a, b'")
    assert outcome(probe.starred, (1,), {1: 2}) == "TypeError: keywords must be strings"


def test_signature_follows_changed_defaults_as_for_a_def(probe):
    saved = [(f, f.__defaults__, f.__kwdefaults__) for f in (probe.plain, probe.keyword_only)]
    try:
        probe.plain.__defaults__ = (30, "d")
        probe.keyword_only.__kwdefaults__ = {"b": 7, "c": 8}
        assert str(inspect.signature(probe.plain)) == "(a, b, c=30, d='d')"
        assert str(inspect.signature(probe.keyword_only)) == "(a, *, b=7, c=8)"
        assert probe.plain(1, 2) == (1, 2, 30, "d") and probe.keyword_only(1) == (1, 7, 8)
    finally:
        for f, defaults, kwdefaults in saved:
            f.__defaults__, f.__kwdefaults__ = defaults, kwdefaults


def test_methods_and_constructors_bind_as_class_body_defs(probe):
    E = probe.Emitter
    init = E.__dict__["__init__"]
    assert (init.__name__, init.__qualname__, E.apply.__qualname__) == ("__init__", "Emitter.__init__", "Emitter.apply")
    assert str(inspect.signature(E)) == "(parent=None)"
    for args, kwargs in [((1, 2), {}), ((), {"parent": None, "x": 1}), ((None,), {"parent": None})]:
        assert outcome(E, args, kwargs) == outcome(Emitter, args, kwargs)
    e, twin = E(), Emitter()
    for args, kwargs in [((), {}), (("a", "b"), {}), (("a",), {"text": "b"}), ((), {"self": 1, "text": 2})]:
        assert outcome(e.apply, args, kwargs) == outcome(twin.apply, args, kwargs)
    assert outcome(E.apply, (), {}) == "TypeError: Emitter.apply() missing 2 required positional arguments: " \
                                      "'self' and 'text'"


def cut_cube(array3d, dict_vidx, section_type, section_number, **kwargs):
    raise AssertionError("bound")


class Untouchable(dict):
    def __getitem__(self, key):
        raise AssertionError("read " + key)


def test_cut_cube_refuses_bad_calls_before_reading_anything():
    from dorar.gocube import cut
    v = Untouchable()
    same(cut.cut_cube, cut_cube, [((), {}), ((1, v), {}), ((1, v, "iline", 1, 5, 6), {}), ((1, v, "iline"), {"x": 1}),
                                  ((1, v, "iline", 1), {"array3d": 1}), ((1, v, "iline", 1), {"xmin": 1, 2: 3})])
    assert outcome(cut.cut_cube, (1, v, "iline"), {"x": 1}) == \
        "TypeError: cut_cube() missing 1 required positional argument: 'section_number'"
    assert outcome(cut.cut_cube, (1, v, "iline", 1, 5, 6), {}) == \
        "TypeError: cut_cube() takes 4 positional arguments but 6 were given"


def test_one_positional_only_argument_is_refused_as_by_a_builtin_function():
    from dorar.gosurvey.impt import survey_loader as loader
    where = "dorar.gosurvey.impt.survey_loader.read_sgmt()"
    assert outcome(loader.read_sgmt, (), {"fn": "x"}) == "TypeError: %s takes no keyword arguments" % where
    assert outcome(loader.read_sgmt, ("x", "y"), {}) == "TypeError: %s takes exactly one argument (2 given)" % where
    assert outcome(loader.read_sgmt, (), {}) == "TypeError: %s takes exactly one argument (0 given)" % where


class Dialog(QuickFormDialog):
    def __init__(self, parent=None):
        QuickFormDialog.__init__(self, parent)


def test_form_constructor_binds_as_its_def():
    from dorar.gocube.expt import parms
    init = parms.Dialog.__init__
    assert (init.__name__, init.__qualname__, init.__module__) == ("__init__", "Dialog.__init__", parms.__name__)
    same(parms.Dialog, Dialog, [((None, None), {}), ((), {"parent": None, "x": 1}), ((None,), {"parent": None})])
    assert outcome(parms.Dialog, (), {"x": 1}) == "TypeError: Dialog.__init__() got an unexpected keyword argument 'x'"


def modules():
    root = os.path.join(SITE, "dorar")
    for folder, _, files in os.walk(root):
        for f in files:
            if f.endswith(".so"):
                rel = os.path.relpath(os.path.join(folder, f.split(".")[0]), SITE)
                yield rel.replace(os.sep, ".")


def functions(module):
    """The module's functions and the methods and static methods of its classes: the helper compiles
    them with the code file name <dotted.module.name>."""
    def made_by_helper(v):
        return inspect.isfunction(v) and v.__code__.co_filename == "<%s>" % module.__name__

    for value in vars(module).values():
        if isinstance(value, type) and value.__module__ == module.__name__:
            members = [v.__func__ if isinstance(v, staticmethod) else v for v in vars(value).values()]
            yield from filter(made_by_helper, members)
        elif made_by_helper(value):
            yield value


def sweep():
    """Every function of every module: parameters all named, bad calls refused as by its def."""
    seen = 0
    for dotted in modules():
        for fn in functions(importlib.import_module(dotted)):
            seen += 1
            assert not re.search(r"\barg\d", str(inspect.signature(fn))), (fn.__qualname__, inspect.signature(fn))
            twin = twin_of(fn)
            # only calls that the def refuses reach the real function (a bound one would run it)
            same(fn, twin, [(a, k) for a, k in BAD if outcome(twin, a, k) != "ran"])
    return seen


def test_every_module_function_names_its_parameters_and_refuses_bad_calls_as_a_def():
    here = os.path.dirname(os.path.abspath(__file__))
    r = run_python("import sys; sys.path[:0] = [%r, %r]\nimport test_arguments\nprint(test_arguments.sweep())"
                   % (os.path.dirname(here), here))
    assert r.returncode == 0, r.stderr
    assert int(r.stdout.split()[-1]) > 100
