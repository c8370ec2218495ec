"""The chunk table round trip: the host's SQLite array pair and the module's main program."""
import os
import sqlite3

import numpy as np
import pytest

from conftest import ROOT, run_module, run_python

from dorar.utils.sqlite_array import adapt_array, convert_array

MODULE = "dorar.utils.chunk_store"
OUTPUT = ["array byte limit = 30", "fetch data type = <class 'list'>", "fetch data length = 2",
          "retrieved array shape = (12,)", "retrieved array dtype = float32",
          "retrieved array = [ 0.  1.  2.  3.  4.  5.  6.  7.  8.  9. 10. 11.]"]


def as_main(setup):
    """Code that runs SETUP, then starts the module as the main program the way the runner does."""
    return (setup + "\nimport importlib.machinery, importlib.util\n"
            "loader = importlib.machinery.SourceFileLoader('runner', %r)\n"
            "runner = importlib.util.module_from_spec(importlib.util.spec_from_loader('runner', loader))\n"
            "loader.exec_module(runner)\n"
            "runner.run(%r, [])\n" % (os.path.join(ROOT, "tools", "run-module"), MODULE))


def stored(folder):
    con = sqlite3.connect(str(folder / "test.db"))
    try:
        return con.execute("SELECT object_name, prop_name, chunkID, arr FROM test "
                           "ORDER BY object_name, chunkID").fetchall()
    finally:
        con.close()


@pytest.mark.parametrize("array", [
    np.arange(6, dtype="float32"),
    np.arange(24, dtype=">i2").reshape(2, 3, 4),
    np.arange(20.0).reshape(4, 5)[:, ::2],          # not contiguous
    np.array([True, False]),
    np.zeros((0, 3), "complex64"),
])
def test_sqlite_array_pair_keeps_values_type_and_shape(array):
    sqlite3.register_adapter(np.ndarray, adapt_array)
    sqlite3.register_converter("ARRAY", convert_array)
    con = sqlite3.connect(":memory:", detect_types=sqlite3.PARSE_DECLTYPES)
    con.execute("CREATE TABLE t (arr ARRAY)")
    con.execute("INSERT INTO t VALUES (?)", (array,))
    (back,), = con.execute("SELECT arr FROM t").fetchall()
    con.close()
    assert back.dtype == array.dtype and back.shape == array.shape
    np.testing.assert_array_equal(back, array)


def test_sqlite_array_refuses_object_arrays():
    with pytest.raises(ValueError):
        adapt_array(np.array([{}, None], dtype=object))


def test_main_runs_twice_and_keeps_what_it_wrote(tmp_path):
    for _ in range(2):
        r = run_module(MODULE, cwd=str(tmp_path))
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines() == OUTPUT
    rows = stored(tmp_path)
    assert [r[:3] for r in rows] == [("mypoint", "vint", 1), ("mypoint", "vint", 2)]
    np.testing.assert_array_equal(convert_array(rows[0][3]), np.arange(6, dtype="float32"))
    np.testing.assert_array_equal(convert_array(rows[1][3]), np.arange(6, 12, dtype="float32"))


def test_main_notes_go_through_the_host_logger(tmp_path):
    r = run_python(as_main("import logging, sys\n"
                           "logging.basicConfig(stream=sys.stdout, level=logging.INFO,"
                           " format='%(name)s: %(message)s')"), cwd=str(tmp_path))
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == OUTPUT[:1] + [
        "dorar: input array size = 12", "dorar: input array bytes = 48",
        "dorar: output arrays size = [6, 6]", "dorar: output arrays bytes = [24, 24]"] + OUTPUT[1:]


def test_main_replaces_its_own_rows_only(tmp_path):
    con = sqlite3.connect(str(tmp_path / "test.db"))
    con.execute("CREATE TABLE test (object_name TEXT, prop_name TEXT, chunkID INTEGER, arr ARRAY, "
                "PRIMARY KEY (object_name, prop_name, chunkID))")
    con.executemany("INSERT INTO test VALUES (?,?,?,?)",
                    [("mypoint", "vint", 3, adapt_array(np.zeros(2, "float32"))),   # stale chunk
                     ("other", "vint", 1, adapt_array(np.ones(2, "float32")))])
    con.commit()
    con.close()
    r = run_module(MODULE, cwd=str(tmp_path), env={"PYTHONOPTIMIZE": "1"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == OUTPUT
    assert [r[:3] for r in stored(tmp_path)] == [("mypoint", "vint", 1), ("mypoint", "vint", 2),
                                                 ("other", "vint", 1)]


def test_failed_run_keeps_the_earlier_rows(tmp_path):
    assert run_module(MODULE, cwd=str(tmp_path)).returncode == 0
    before = stored(tmp_path)
    r = run_python(as_main("import dorar.utils.sqlite_array as s\n"
                           "def broken(a):\n    raise RuntimeError('disk says no')\n"
                           "s.adapt_array = broken"), cwd=str(tmp_path))
    assert r.returncode != 0 and "disk says no" in r.stderr
    assert r.stdout.splitlines() == OUTPUT[:1]
    assert stored(tmp_path) == before


def test_import_never_runs_main(tmp_path):
    r = run_python("import dorar.utils.chunk_store as m; print(sorted(n for n in vars(m) if not n.startswith('_')))",
                   cwd=str(tmp_path))
    assert r.stdout.strip() == "['chunk_store', 'logger', 'main', 'np']", r.stderr
    assert not (tmp_path / "test.db").exists()
