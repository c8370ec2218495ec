"""Line objects: vertexes joined by segments, with per-vertex properties."""
import numpy as np
from vispy.color import ColorArray

from dorar.gopoint.point import VertexObject


class Line(VertexObject):
    geometry_type = "Line"

    def __init__(self, name, xyz=None, segment=None):
        super().__init__(name, xyz)
        n = len(self.vertexes["xyz"])
        if segment is None:
            segment = np.column_stack([np.arange(n - 1), np.arange(1, n)]) if n > 1 else np.zeros((0, 2))
        self.vertexes["segment"] = np.asarray(segment, dtype=np.uint32).reshape(-1, 2)
        self.vs3d = None
        # every report of print_properties, oldest first: (vertex index, {property: value})
        self.printed = []

    def _build_vs2d(self):
        from vispy import scene
        return scene.visuals.LinePlot(self.vertexes["xyz"][:, :2], connect=self.vertexes["segment"],
                                      color="blue", width=1, marker_size=0)

    def make_vs3d(self, parent=None, **style):
        """Builds the object's 3D visual in the scene node `parent`."""
        from dorar.goline.visual import LinePlot
        kwargs = dict(data=self.vertexes["xyz"], connect=self.vertexes["segment"], color="white", width=2,
                      symbol="disc", marker_size=10, edge_color="black", face_color="yellow", edge_width=1)
        kwargs.update(style)
        vis = LinePlot(parent=parent, **kwargs)
        vis.host_dob = self
        self.vs3d = vis
        return vis

    def update_vs3d(self, face_color=None):
        """Re-colours the markers of the 3D visual: one colour, or one RGBA row per vertex."""
        markers = self.vs3d._markers
        data = markers._data
        rgba = ColorArray(face_color).rgba
        if len(rgba) not in (1, len(data)):
            raise ValueError("face_color holds %d colours for %d vertexes" % (len(rgba), len(data)))
        data["a_bg_color"] = rgba
        if markers.symbol is not None:
            markers._vbo.set_data(data)
        markers.update()

    def print_properties(self, index):
        values = {name: p["array1d"][index] for name, p in self.prop.items()}
        self.printed.append((index, values))
        xyz = self.vertexes["xyz"][index]
        print("%s vertex %d: x=%g y=%g z=%g %s" % (self.name, index, xyz[0], xyz[1], xyz[2],
                                                     " ".join("%s=%s" % kv for kv in values.items())))
