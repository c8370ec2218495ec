"""Helpers of the point-set form tests: the shared form helpers, data objects of every kind."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "forms"))

from formkit import Recorder, make, rows, translator  # noqa: E402,F401 (re-exported fixtures)

from dorar.gocube.cube import Cube, DataObject  # noqa: E402
from dorar.goline.line import Line  # noqa: E402
from dorar.gopoint.label import Label  # noqa: E402
from dorar.gopoint.point import Point  # noqa: E402


class Surface(DataObject):
    """A triangulated or grid surface as far as a picker sees it."""

    def __init__(self, name, kind):
        super().__init__(name)
        self.geometry_type = kind


def point_set(name, props=(), current="first"):
    p = Point(name)
    for prop in props:
        p.add_property(prop, [0.0])
    if current != "first":
        p.current_property = current
    return p


def one_of_each_kind():
    """Name -> object for every kind of data object a picker may be shown."""
    return {"pts": Point("pts"), "ln": Line("ln", [[0, 0, 0], [1, 1, 0]]), "lab": Label("lab"),
            "cube": Cube("cube"), "ts": Surface("ts", "Tsurface"), "gs": Surface("gs", "Gsurface")}


def pickable(picker):
    """Names of the objects of `one_of_each_kind` that `picker` accepts, in that order."""
    ok = []
    for name, ob in one_of_each_kind().items():
        try:
            picker.pick(ob)
        except ValueError:
            continue
        ok.append(name)
    return ok
