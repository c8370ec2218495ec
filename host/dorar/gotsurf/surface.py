"""Triangulated surfaces: vertexes with per-vertex properties, joined by triangles."""
import collections

import numpy as np


def _table(array, columns):
    """`array` as a 2-D table; an empty one-dimensional array (what a reader gives for a file
    without such lines) is a table of no rows."""
    array = np.asarray(array)
    if array.ndim == 1 and array.size == 0:
        return array.reshape(0, columns)
    return array


class Tsurface(object):
    geometry_type = "Tsurface"

    def __init__(self, name):
        self.name = name
        self.prop = collections.OrderedDict()
        self.current_property = None
        self.vertexes = {"xyz": np.zeros((0, 3), dtype=np.float32)}
        self.triangles = np.zeros((0, 3), dtype=np.int32)
        self.xyz_range = None

    def set_vertexes(self, vertexes):
        """The vertex table, one row per vertex; its first three columns are X, Y and Z."""
        vertexes = _table(vertexes, 3)
        if vertexes.ndim != 2:
            raise ValueError("vertexes must be a 2-D array, got shape %s" % (vertexes.shape,))
        self.vertexes["xyz"] = vertexes[:, :3]

    def set_triangles(self, triangles=None):
        """Three 0-based vertex rows per triangle."""
        triangles = np.zeros((0, 3), dtype=np.int32) if triangles is None else _table(triangles, 3)
        if triangles.ndim != 2 or triangles.shape[1] != 3:
            raise ValueError("triangles must have 3 columns, got shape %s" % (triangles.shape,))
        n = len(self.vertexes["xyz"])
        if len(triangles) and (triangles.min() < 0 or triangles.max() >= n):
            raise ValueError("triangles refer to vertex rows outside 0..%d" % (n - 1))
        self.triangles = triangles

    def init_property(self, prop_names, vertexes):
        """One property per column of `vertexes`, named by `prop_names`."""
        vertexes = _table(vertexes, len(prop_names))
        for j, name in enumerate(prop_names):
            self.prop[name] = {"array1d": vertexes[:, j]}
        if self.current_property is None and len(self.prop):
            self.current_property = next(iter(self.prop))

    def set_xyz_range(self):
        xyz = self.vertexes["xyz"]
        self.xyz_range = (xyz.min(axis=0), xyz.max(axis=0)) if len(xyz) else None
