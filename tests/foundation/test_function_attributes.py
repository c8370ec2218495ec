"""The attributes of a function made by the house helper take what those of a `def` take, refuse
what it refuses with the same texts, and the function goes on working either way.

Each case runs in a fresh interpreter, so that a crash fails the case instead of ending the run.
"""
import json

import pytest

pytest.importorskip("qtpy.QtCore")

CASE = r'''
import json, re
from testmods.helper_probe import plain
from dorar.gosurvey.impt.survey_loader import read_sgmt

def twin(a, b, c=3, d=None):
    return a, b, c, d

twin.__name__ = twin.__qualname__ = "plain"
twin.__module__ = plain.__module__

def outcome(action):
    try:
        return repr(action())
    except Exception as e:
        return "%s: %s" % (type(e).__name__, e)

def attempt(f):
    try:
        exec(STATEMENT, {"f": f})
    except Exception as e:
        return "%s: %s" % (type(e).__name__, e)
    return "ran"

def state(f):
    return [outcome(lambda: re.sub(" at 0x[0-9a-f]+", "", repr(f)))] + [
        outcome(lambda: getattr(f, a)) for a in ("__name__", "__qualname__", "__doc__", "__module__", "__dict__")]

def calls(f):
    return [outcome(lambda: f(1, 2)), outcome(lambda: f()), outcome(lambda: f(1, 2, 3, 4, 5))]

def function_str(f):
    """How the interpreter names a callable in a built-in function's refusal."""
    m = f.__module__
    return "%s.%s()" % (m, f.__qualname__) if m is not None and m != "builtins" else "%s()" % f.__qualname__

result = {"ours": attempt(plain), "def": attempt(twin)}
result["ours_state"], result["def_state"] = state(plain), state(twin)
result["ours_calls"], result["def_calls"] = calls(plain), calls(twin)
result["builtin_like"] = attempt(read_sgmt)
state(read_sgmt)
result["builtin_like_call"] = outcome(lambda: read_sgmt(1, 2))
result["builtin_like_expected"] = "TypeError: %s takes exactly one argument (2 given)" % function_str(read_sgmt)
print(json.dumps(result))
'''

QUALNAME = "TypeError: __qualname__ must be set to a string object"
NAME = "TypeError: __name__ must be set to a string object"


@pytest.mark.parametrize("statement, expected", [
    ("del f.__qualname__", QUALNAME),
    ("del f.__name__", NAME),
    ("f.__qualname__ = 42", QUALNAME),
    ("f.__name__ = 42", NAME),
    ("f.__qualname__ = None", QUALNAME),
    ("f.__qualname__ = 'Outer.plain'", "ran"),
    ("f.__name__ = 'renamed'", "ran"),
    ("f.__qualname__ = type('Text', (str,), {})('Sub.plain')", "ran"),
    ("del f.__doc__", "ran"),
    ("f.__doc__ = 42", "ran"),
    ("del f.__module__", "ran"),
    ("f.__module__ = 42", "ran"),
    ("del f.__dict__", "TypeError: cannot delete __dict__"),
    ("f.__dict__ = 42", "TypeError: __dict__ must be set to a dictionary, not a 'int'"),
    ("f.__dict__ = {'x': 1}", "ran"),
])
def test_attributes_take_and_refuse_what_a_def_does(python, statement, expected):
    r = python("STATEMENT = %r\n" % statement + CASE)
    assert r.returncode == 0, r.stderr
    got = json.loads(r.stdout.splitlines()[-1])
    assert got["ours"] == got["def"] == expected
    assert got["ours_state"] == got["def_state"]
    assert got["ours_calls"] == got["def_calls"]
    if "Sub.plain" in statement or "Outer.plain" in statement:
        assert got["ours_state"][0].startswith("'<function %s" % statement.split("'")[-2])
    assert got["builtin_like"] == expected
    assert got["builtin_like_call"] == got["builtin_like_expected"]
