"""The SEG-Y gate, decided once while dorar.utils.segy loads (each case in a fresh interpreter)."""
import textwrap

import pytest

from conftest import run_python

PRELUDE = """
import os, sys, types
value = {value!r}
if value is None:
    os.environ.pop("data_io/segy", None)
else:
    os.environ["data_io/segy"] = value
engine = types.SimpleNamespace(readSegy=lambda *a: 1 / 0, writeSegy=lambda *a: 1 / 0)
pkg = types.ModuleType("segypy")
pkg.segypy = engine
sys.modules["segypy"] = {engine_module}
"""


def run(value, body, engine_module="pkg"):
    code = PRELUDE.format(value=value, engine_module=engine_module) + textwrap.dedent(body)
    return run_python(code)


@pytest.mark.parametrize("value", [None, "true", "TRUE", "1", "False", " True", ""])
def test_gate_off_warns_and_every_use_of_the_engine_fails(value, tmp_path):
    head = tmp_path / "head.txt"
    head.write_text("x\n")
    r = run(value, """
        from dorar.utils import segy
        print("bound:", hasattr(segy, "segypy"))
        import dorar.gocube.cube as cm
        cube = cm.Cube("c")
        try:
            segy.read_segy(cube, "f.sgy")
        except NameError as e:
            print("read:", e, cube.prop == {} and cube.dict_vidx is None)
        try:
            segy.load_cube("f.sgy", None)
        except NameError as e:
            print("load:", e)
        import numpy as np
        cube.prop["p"] = {"array3d": np.ones((1, 2, 3), np.float32)}
        cube.current_property = "p"
        cube.dict_vidx = {"DP_NCRT": 4, "IL_FRST": 1, "IL_NCRT": 1, "IL_AMNT": 1, "XL_FRST": 1, "XL_NCRT": 1,
                          "XL_AMNT": 2}
        class S:
            def ln2xy(self, il, xl):
                return il * 1.0, xl * 1.0
        cube.survey = S()
        opened = []
        real_open = open
        segy.open = lambda *a: opened.append(a) or real_open(*a)
        try:
            segy.write_segy(cube, "%s", stfhfn="%s")
        except NameError as e:
            print("write:", e, opened == [("%s",)], os.path.exists("%s"))
    """ % (tmp_path / "o.sgy", head, head, tmp_path / "o.sgy"))
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[:2] == ["WARNING: Segy module is not enabled", "bound: False"]
    assert lines[2] == "read: name 'segypy' is not defined True"
    assert lines[3] == "load: name 'segypy' is not defined"
    assert lines[4] == "Info of the Segy to be written:"
    assert lines[9].startswith("$$Write Segy Start @ ")
    assert lines[10] == "write: name 'segypy' is not defined True False"
    assert len(lines) == 11


def test_gate_on_binds_the_engine_and_the_module_names():
    r = run("True", """
        import collections, datetime, numpy
        from dorar.utils import segy
        import dorar.utils.convert_parms as cp
        print("bound:", segy.segypy is engine)
        print(segy.lib, segy.os is os, segy.collections is collections, segy.datetime is datetime.datetime,
              segy.np is numpy, segy.get_vxyz_of_grid_index is cp.get_vxyz_of_grid_index,
              segy.get_parm_of_grid_index is cp.get_parm_of_grid_index)
        print(sorted(n for n in vars(segy) if not n.startswith("__")))
    """)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "Loading ext: data_io/segy", "bound: True", "data_io/segy True True True True True True",
        "['collections', 'datetime', 'get_cube_from_sth', 'get_parm_of_grid_index', 'get_vxyz_of_grid_index', "
        "'lib', 'load_cube', 'np', 'os', 'read_segy', 'segypy', 'write_segy']"]


def test_gate_on_without_an_engine_fails_the_import_after_its_line():
    r = run("True", """
        try:
            import dorar.utils.segy
        except ImportError as e:
            print("import failed:", type(e).__name__)
    """, engine_module="None")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["Loading ext: data_io/segy", "import failed: ModuleNotFoundError"]


def test_gate_is_read_once_at_load():
    r = run(None, """
        from dorar.utils import segy
        os.environ["data_io/segy"] = "True"
        import importlib
        print(importlib.import_module("dorar.utils.segy") is segy, hasattr(segy, "segypy"))
    """)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["WARNING: Segy module is not enabled", "True False"]
