"""Cube: property arrays on a regular grid of inlines, crosslines and samples."""
import collections
import os
import warnings
from concurrent.futures import ThreadPoolExecutor

import numpy as np


def _minmax(array):
    """NaN-ignoring minimum and maximum; a large array is scanned in slabs on every core."""
    slabs = [array]
    if array.nbytes >= 64 << 20 and array.ndim and array.shape[0] > 1:
        slabs = np.array_split(array, min(os.cpu_count() or 1, array.shape[0]))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # an all-NaN array
        if len(slabs) == 1:
            return float(np.nanmin(array)), float(np.nanmax(array))
        with ThreadPoolExecutor(len(slabs)) as pool:  # numpy's reductions release the GIL
            parts = list(pool.map(lambda a: (np.nanmin(a), np.nanmax(a)), slabs))
        return float(np.nanmin([p[0] for p in parts])), float(np.nanmax([p[1] for p in parts]))


def _finite_range(array):
    """Display minimum and maximum of the finite samples, without copying the array."""
    if array.size == 0:
        return [0.0, 0.0]
    if array.dtype.kind != "f":
        return [float(array.min()), float(array.max())]
    lo, hi = _minmax(array)
    if np.isfinite(lo) and np.isfinite(hi):
        return [lo, hi]
    # Infinities present: look at the finite samples one inline at a time.
    parts = [a[np.isfinite(a)] for a in array.reshape(array.shape[0], -1)]
    parts = [(p.min(), p.max()) for p in parts if p.size]
    if not parts:
        return [0.0, 0.0]
    return [float(min(p[0] for p in parts)), float(max(p[1] for p in parts))]


class DataObject(object):
    geometry_type = None

    def __init__(self, name):
        self.name = name
        self.prop = collections.OrderedDict()
        self.current_property = None


class Cube(DataObject):
    geometry_type = "Cube"

    def __init__(self, name):
        super().__init__(name)
        self.dict_vidx = None
        self.dict_vxyz = None
        self.dict_parm = None
        self.survey = None
        self.calls = []

    def add_property(self, name, array=None):
        self.prop[name] = {"array3d": array, "colorClip": _finite_range(array)}

    def calc_prop_percentile(self):
        self.calls.append("calc_prop_percentile")

    def init_xyz_range(self):
        self.calls.append("init_xyz_range")

    def set_section_number(self):
        self.calls.append("set_section_number")

    def init_colormap(self):
        self.calls.append("init_colormap")

    def set_current_property(self):
        self.calls.append("set_current_property")
        if self.current_property not in self.prop and self.prop:
            self.current_property = next(iter(self.prop))

    def _trace_grid(self):
        v = self.dict_vidx
        il = v["IL_FRST"] + v["IL_NCRT"] * np.arange(v["IL_AMNT"])
        xl = v["XL_FRST"] + v["XL_NCRT"] * np.arange(v["XL_AMNT"])
        return np.repeat(il, v["XL_AMNT"]), np.tile(xl, v["IL_AMNT"])

    def get_traces_ln(self):
        """One row per trace (inline by inline, crossline fastest): inline and crossline number."""
        il, xl = self._trace_grid()
        return np.column_stack([il, xl])

    def get_traces_xy(self):
        """One row per trace in the same order: X and Y."""
        il, xl = self._trace_grid()
        x, y = self.survey.ln2xy(il, xl)
        return np.column_stack([x, y])
