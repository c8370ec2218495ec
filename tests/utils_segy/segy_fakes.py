"""Stand-ins for the SEG-Y engine and recording host objects, for the dorar.utils.segy tests."""
import importlib
import os
import sys
import types

import numpy as np

GATE = "data_io/segy"


def segy_module():
    """dorar.utils.segy loaded with the gate on (once per process).

    The engine bound at load is the real segypy when it can be imported, otherwise a placeholder;
    tests replace the module's `segypy` with their own fake anyway.
    """
    if "dorar.utils.segy" in sys.modules:
        return sys.modules["dorar.utils.segy"]
    saved_env = os.environ.get(GATE)
    injected = False
    try:
        importlib.import_module("segypy.segypy")
    except ImportError:
        pkg = types.ModuleType("segypy")
        pkg.segypy = FakeEngine()
        sys.modules["segypy"] = pkg
        injected = True
    os.environ[GATE] = "True"
    try:
        return importlib.import_module("dorar.utils.segy")
    finally:
        if saved_env is None:
            del os.environ[GATE]
        else:
            os.environ[GATE] = saved_env
        if injected:
            del sys.modules["segypy"]


def real_engine():
    """The real segypy engine, or None when it is not built."""
    try:
        from segypy import segypy
    except ImportError:
        return None
    return segypy if hasattr(segypy, "readSegy") else None


def grid_headers(il_numbers, xl_numbers, ns=100, dt=4000, scalar=-100, x0=100000, y0=200000):
    """Trace headers of a regular grid, traces inline by inline with the crossline fastest."""
    il = np.repeat(np.asarray(il_numbers, np.int32), len(xl_numbers))
    xl = np.tile(np.asarray(xl_numbers, np.int32), len(il_numbers))
    n = il.size
    return {
        "SourceGroupScalar": np.full(n, scalar, np.int16),
        "ns": np.full(n, ns, np.uint16),
        "dt": np.full(n, dt, np.uint16),
        "cdpX": (x0 + 2500 * (xl - xl[0])).astype(np.int32),
        "cdpY": (y0 + 2500 * (il - il[0])).astype(np.int32),
        "Inline3D": il,
        "Crossline3D": xl,
    }


class FakeEngine(object):
    """Records readSegy / writeSegy calls; readSegy returns `result` or (data, info, headers)."""

    def __init__(self, data=None, headers=None, result=None, fail=None):
        self.data, self.headers, self.result, self.fail = data, headers, result, fail
        self.calls = []

    def readSegy(self, *args, **kwargs):
        self.calls.append(("readSegy", args, kwargs))
        if self.fail:
            raise self.fail
        if self.result is not None:
            return self.result
        return self.data, {"format": 5}, self.headers

    def writeSegy(self, *args, **kwargs):
        self.calls.append(("writeSegy", args, kwargs))
        if self.fail:
            raise self.fail


def engine_for(nil, nxl, ns, dtype=np.float32, **header_kw):
    """A fake engine holding a nil x nxl x ns volume whose sample values number the samples."""
    data = np.arange(nil * nxl * ns, dtype=dtype).reshape(nil * nxl, ns)
    headers = grid_headers(range(1, nil + 1), range(1, nxl + 1), ns=ns, **header_kw)
    return FakeEngine(data=data, headers=headers)


class RecordingCube(object):
    """A cube that logs every host call the module makes on it, in order."""

    geometry_type = "Cube"
    log = None

    def __init__(self, name):
        object.__setattr__(self, "log", [("Cube", name)])
        object.__setattr__(self, "name", name)
        object.__setattr__(self, "prop", {})
        object.__setattr__(self, "current_property", None)
        for attr in ("dict_vidx", "dict_vxyz", "dict_parm", "survey"):
            object.__setattr__(self, attr, None)

    def __setattr__(self, key, value):
        self.log.append(("set", key))
        object.__setattr__(self, key, value)

    def add_property(self, name, array=None):
        self.log.append(("add_property", name))
        self.prop[name] = {"array3d": array, "colorClip": [float(np.min(array)), float(np.max(array))]}

    def _record(name):
        def method(self):
            self.log.append((name,))
        method.__name__ = name
        return method

    calc_prop_percentile = _record("calc_prop_percentile")
    init_xyz_range = _record("init_xyz_range")
    set_section_number = _record("set_section_number")
    init_colormap = _record("init_colormap")
    del _record

    def set_current_property(self):
        self.log.append(("set_current_property",))
        if self.current_property is None and self.prop:
            object.__setattr__(self, "current_property", next(iter(self.prop)))

    def get_traces_ln(self):
        self.log.append(("get_traces_ln",))
        return self.ln

    def get_traces_xy(self):
        self.log.append(("get_traces_xy",))
        return self.xy


def cube_with(array3d, ncrt=4, name="amp", current=True):
    """A recording cube holding one property and per-trace rows for writing."""
    cube = RecordingCube("c")
    nil, nxl = array3d.shape[:2]
    il = np.repeat(np.arange(100, 100 + nil), nxl)
    xl = np.tile(np.arange(1, 1 + nxl) * 2, nil)
    object.__setattr__(cube, "ln", np.column_stack([il, xl]))
    object.__setattr__(cube, "xy", np.column_stack([il * 12.5, xl * 25.0 + 0.25]))
    cube.prop[name] = {"array3d": array3d, "colorClip": [0.0, 1.0]}
    object.__setattr__(cube, "dict_vidx", {"DP_NCRT": ncrt})
    if current:
        object.__setattr__(cube, "current_property", name)
    del cube.log[:]
    return cube
