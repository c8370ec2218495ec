"""Point objects: vertex sets with per-vertex properties, shown as markers."""
import collections

import numpy as np


class VertexObject(object):
    """Base of the vertex-based data objects (points, labels, lines)."""
    geometry_type = None

    def __init__(self, name, xyz=None):
        self.name = name
        self.prop = collections.OrderedDict()
        self.current_property = None
        xyz = np.zeros((0, 3)) if xyz is None else np.asarray(xyz, dtype=float)
        self.vertexes = {"xyz": xyz}
        # 2D plot name -> this object's visual in that plot
        self.vs2d = {}

    def add_property(self, name, array):
        self.prop[name] = {"array1d": np.asarray(array)}
        if self.current_property is None:
            self.current_property = name

    def _build_vs2d(self):
        raise NotImplementedError

    def make_vs2d(self, parent=None):
        """Builds this object's visual for the 2D plot named `parent`."""
        self.vs2d[parent] = self._build_vs2d()


class Point(VertexObject):
    geometry_type = "Point"

    def _build_vs2d(self):
        from vispy import scene
        return scene.visuals.Markers(pos=self.vertexes["xyz"][:, :2], size=6, face_color="red")
