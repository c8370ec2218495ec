"""Vertex picking by colour identifiers: decoding, the choice of candidate, and a real render."""
import json
import os

import numpy as np
import pytest

from conftest import run_python
from dorar.goline.line import Line
from dorar.goline.visual import LinePlot

N = 6
XYZ = np.column_stack([np.arange(N), np.arange(N) % 2, np.zeros(N)]).astype(float)
FACES = np.array([[1, 1, 0, 1]] * N, dtype=np.float32)
FACES[2] = [0, 1, 0, 1]  # the third vertex is coloured apart


def rgba(ident):
    return [(ident >> (8 * c)) & 0xFF for c in range(4)]


class Transform:
    def __init__(self, log):
        self.log = log

    def map(self, pos):
        self.log.append(("map", pos))
        return np.array([pos[0] + 0.5, 200 - pos[1], 0, 1])


class FakeCanvas:
    """Hands out a prepared 5 x 5 block and records what the visual looked like at render time."""

    def __init__(self, vis, ids):
        self.vis, self.log, self.seen = vis, [], {}
        self.image = np.array([rgba(int(i)) for i in np.ravel(ids)], dtype=np.uint8).reshape(5, 5, 4)
        self.physical_size = (240, 200)
        self.transforms = type("T", (), {})()
        self.transforms.canvas_transform = Transform(self.log)
        self.transforms.configure = lambda **kw: self.log.append(("configure", kw))

    def render(self, region, bgcolor=None):
        self.log.append(("render", region, bgcolor))
        m = self.vis._markers
        self.seen = {"blend": m._vshare.gl_state.get("blend"), "line_visible": self.vis._line.visible,
                     "faces": m._data["a_bg_color"].copy()}
        return self.image


class Event:
    pos = (40, 60)


@pytest.fixture
def line():
    dob = Line("trace", XYZ)
    dob.add_property("depth", np.arange(N) * 10.0)
    vis = LinePlot(data=XYZ, connect=dob.vertexes["segment"], symbol="disc", marker_size=10,
                   face_color=FACES)
    vis.host_dob = dob
    dob.vs3d = vis
    return dob, vis


def block(fill=0, centre=None, **at):
    ids = np.full(25, fill, dtype=np.uint64)
    for index, value in at.get("cells", {}).items():
        ids[index] = value
    if centre is not None:
        ids[12] = centre
    return ids


def pick(vis, ids, capsys):
    canvas = FakeCanvas(vis, ids)
    assert vis.query_in_3d(canvas, Event()) is None
    return canvas, capsys.readouterr().out


def test_colour_pass_then_restore(line, capsys):
    dob, vis = line
    vis.update_gl_state(blend=False)
    canvas, out = pick(vis, block(centre=4), capsys)
    assert canvas.log[0] == ("map", (40, 60))
    # the region mapping the canvas last applied is the idle one, so the region is mapped afresh
    assert canvas.log[1] == ("configure", {"fbo_size": (240, 200), "fbo_rect": (0, 0, 240, 200)})
    assert canvas.log[2] == ("render", (38.5, 138.0, 5, 5), (0, 0, 0, 0))  # not rounded
    assert canvas.seen["blend"] is False and canvas.seen["line_visible"] is False
    expected = np.array([rgba(k + 1) for k in range(N)], dtype=np.float32) / np.float32(255)
    np.testing.assert_array_equal(canvas.seen["faces"], expected)
    # afterwards: blending on, the line shown, every vertex its own former face colour
    assert vis._markers._vshare.gl_state["blend"] is True and vis._line.visible is True
    np.testing.assert_array_equal(vis._markers._data["a_bg_color"], FACES)
    assert dob.printed[-1][0] == 3 and out.startswith("trace vertex 3:")


def test_a_hidden_line_stays_hidden(line, capsys):
    _, vis = line
    vis._line.visible = False
    pick(vis, block(), capsys)
    assert vis._line.visible is False


@pytest.mark.parametrize("ids, vertex", [
    (block(fill=5, centre=1), 0),                              # centre wins whatever the rest holds
    (block(fill=0, centre=N), N - 1),                          # the last vertex
    (block(cells={i: 3 for i in range(8)}), 2),                # 17 background, 8 of identifier 3
    (block(cells={i: 2 for i in list(range(12)) + [13]}), 1),  # 13 of identifier 2 around a background centre
    (block(fill=0xFFFFFF, cells={0: 5, 24: 5}), 4),            # values above n are background too
    (block(centre=N + 1, cells={3: 2}), 1),                    # a centre above n looks at the rest
])
def test_candidate_choice(line, capsys, ids, vertex):
    dob, vis = line
    _, out = pick(vis, ids, capsys)
    assert [p[0] for p in dob.printed] == [vertex]
    assert dob.printed[0][1] == {"depth": vertex * 10.0}


@pytest.mark.parametrize("ids", [block(), block(centre=N + 1), block(fill=0x01000000)])
def test_no_vertex_clicked(line, capsys, ids):
    dob, vis = line
    _, out = pick(vis, ids, capsys)
    assert out == "No vertex is clicked\n" and dob.printed == []
    np.testing.assert_array_equal(vis._markers._data["a_bg_color"], FACES)


def test_a_failed_render_still_restores(line, capsys):
    dob, vis = line

    def fail(region, bgcolor=None):
        raise RuntimeError("no GL context")

    canvas = FakeCanvas(vis, block())
    canvas.render = fail
    with pytest.raises(RuntimeError, match="no GL context"):
        vis.query_in_3d(canvas=canvas, event=Event())
    assert vis._markers._vshare.gl_state["blend"] is True and vis._line.visible is True
    np.testing.assert_array_equal(vis._markers._data["a_bg_color"], FACES)
    assert capsys.readouterr().out == ""


def test_refusals(line, capsys):
    dob, vis = line
    orphan = LinePlot(data=XYZ, symbol="disc")
    orphan.update_gl_state(blend=False)
    with pytest.raises(AttributeError) as err:
        orphan.query_in_3d(FakeCanvas(orphan, block(centre=1)), Event())
    assert orphan._markers._vshare.gl_state["blend"] is True and orphan._line.visible is True
    assert isinstance(err.value.__context__, AttributeError)  # the colour pass failed first
    assert capsys.readouterr().out == ""

    empty = LinePlot(data=XYZ, symbol="disc")
    empty._markers._data = empty._markers._data[:0]
    empty.host_dob = dob
    empty.update_gl_state(blend=False)
    with pytest.raises(IndexError):
        empty.query_in_3d(FakeCanvas(empty, block()), Event())
    assert empty._markers._vshare.gl_state["blend"] is False  # nothing touched

    canvas = FakeCanvas(vis, block(centre=1))
    canvas.image = canvas.image.astype(np.float32)
    with pytest.raises(TypeError, match="RGBA bytes"):
        vis.query_in_3d(canvas, Event())
    canvas.image = np.zeros(10, dtype=np.uint8)
    with pytest.raises(ValueError, match="4 per pixel"):
        vis.query_in_3d(canvas, Event())
    with pytest.raises(TypeError):
        vis.query_in_3d(canvas)
    doc = LinePlot.query_in_3d.__doc__.split("\n")
    assert doc[0] == "Query values in 3D view." and [l.strip() for l in doc[2:4]] == [
        ":param canvas: the 3D canvas", ":param event: mouse press event"]


# -- a real render ---------------------------------------------------------------------------------

PROBE = """
from vispy import app, scene
app.use_app("pyqt5")
c = scene.SceneCanvas(size=(60, 60), show=True)
app.process_events()
c.render((0, 0, 5, 5), bgcolor=(0, 0, 0, 0))
print("ok")
"""

REAL = """
import json
import numpy as np
from vispy import app, scene
app.use_app("pyqt5")
from dorar.goline.line import Line
canvas = scene.SceneCanvas(size=(240, 200), show=True, bgcolor="black")
view = canvas.central_widget.add_view()
view.camera = CAMERA
xyz = np.array([[k, (k % 3) * 2.0, 0.0] for k in range(10)])
line = Line("L", xyz)
line.add_property("depth", np.arange(10) * 10.0)
vis = line.make_vs3d(parent=view.scene, width=6)
faces = np.tile(np.float32([1, 1, 0, 1]), (10, 1))
faces[3] = [0, 1, 0, 1]
line.update_vs3d(face_color=faces)
for _ in range(5):
    app.process_events()
view_before = canvas.render()

class Event:
    def __init__(self, pos):
        self.pos = pos

to_canvas = vis.get_transform("visual", "canvas")
picked = []
# every vertex once, then the last one twice more and two vertices alternately: a region rendered
# again must show the same markers
for k in list(range(10)) + [9, 9, 4, 9, 4, 4]:
    p = to_canvas.map(xyz[k])
    vis.query_in_3d(canvas, Event((p[0] / p[3], p[1] / p[3])))
    picked.append(line.printed.pop()[0] if line.printed else None)
# the middle of a segment is line, not vertex: nothing is picked there
mid = to_canvas.map((xyz[4] + xyz[5]) / 2)
vis.query_in_3d(canvas, Event((mid[0] / mid[3], mid[1] / mid[3])))
vis.query_in_3d(canvas, Event((2, 2)))
print(json.dumps({"picked": picked, "mid": [p[0] for p in line.printed],
                  "faces": vis._markers._data["a_bg_color"].tolist(),
                  "line_visible": bool(vis._line.visible),
                  "view_kept": bool((canvas.render() == view_before).all()),
                  "blend": vis._markers._vshare.gl_state["blend"]}))
"""


@pytest.mark.parametrize("camera", [
    "scene.cameras.TurntableCamera(elevation=30, azimuth=20, distance=25, center=(5, 1, 0))",
    "scene.cameras.PanZoomCamera(rect=(-1, -1, 12, 8))",
])
def test_a_click_on_a_rendered_line_picks_the_vertex(camera):
    if not os.environ.get("DISPLAY"):
        pytest.skip("no X display for OpenGL: run the tests under xvfb-run -a")
    env = {"QT_QPA_PLATFORM": "xcb"}
    probe = run_python(PROBE, env=env)
    if probe.returncode != 0 or "ok" not in probe.stdout:
        reason = (probe.stderr.strip().splitlines() or ["no output"])[-1]
        pytest.skip("OpenGL rendering is not available here: %s" % reason)
    r = run_python(REAL.replace("CAMERA", camera), env=env)
    assert r.returncode == 0, r.stderr
    out = r.stdout.strip().splitlines()
    result = json.loads(out[-1])
    assert result["picked"] == list(range(10)) + [9, 9, 4, 9, 4, 4]
    assert result["mid"] == []
    assert out[-3:-1] == ["No vertex is clicked"] * 2
    expected = [[1, 1, 0, 1]] * 10
    expected[3] = [0, 1, 0, 1]
    assert result["faces"] == expected
    assert result["line_visible"] is True and result["blend"] is True and result["view_kept"]
