"""Label objects: vertexes with a text each, shown as texts."""
from dorar.gopoint.point import VertexObject


class Label(VertexObject):
    geometry_type = "Label"

    def __init__(self, name, xyz=None, texts=None):
        super().__init__(name, xyz)
        self.texts = list(texts) if texts is not None else [str(k) for k in range(len(self.vertexes["xyz"]))]

    def _build_vs2d(self):
        from vispy import scene
        return scene.visuals.Text(self.texts, pos=self.vertexes["xyz"][:, :2], color="black", font_size=8)
