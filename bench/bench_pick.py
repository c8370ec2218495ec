#!/usr/bin/python3
"""A pick on a line of 4 million vertices (identifier colours for every vertex, the saved face
colours, the decoding of the 5 x 5 region), against the same steps written with numpy.

The canvas and the line object are stubs, so only the visual's own work is timed. Prints the ratio
(numpy time / query_in_3d time) measured in this run; above 1 means faster.
"""
import contextlib
import io

import numpy as np

from benchkit import best_of
from dorar.goline.visual import LinePlot

N, REPEAT = 4_000_000, 5
IMAGE = np.zeros((5, 5, 4), dtype=np.uint8)
IMAGE[2, 2] = [7, 0, 0, 0]


class Canvas:
    physical_size = (800, 600)

    class transforms:
        class canvas_transform:
            @staticmethod
            def map(pos):
                return np.array([pos[0], pos[1], 0, 1.0])

        @staticmethod
        def configure(**kwargs):
            pass

    @staticmethod
    def render(region, bgcolor=None):
        return IMAGE


class Line:
    def update_vs3d(self, face_color=None):
        pass

    def print_properties(self, index):
        pass


class Event:
    pos = (100, 100)


def peer(vis, canvas, event):
    data = vis._markers._data
    n = data["a_position"].shape[0]
    colors = np.arange(1, n + 1, dtype="<u4").view(np.uint8).reshape(n, 4).astype(np.float32) / np.float32(255)
    saved = data["a_bg_color"].copy()
    pos = canvas.transforms.canvas_transform.map(event.pos)
    vis.update_gl_state(blend=False)
    vis.host_dob.update_vs3d(face_color=colors)
    img = canvas.render((pos[0] - 2, pos[1] - 2, 5, 5), bgcolor=(0, 0, 0, 0))
    vis.update_gl_state(blend=True)
    vis.host_dob.update_vs3d(face_color=saved)
    values = np.ascontiguousarray(img).view("<u4").ravel()
    return values[len(values) // 2]


def main():
    vis = LinePlot(data=np.random.default_rng(1).random((N, 3)), symbol="disc")
    vis.host_dob = Line()
    with contextlib.redirect_stdout(io.StringIO()):
        t = best_of({"ours": lambda: vis.query_in_3d(Canvas, Event),
                     "numpy": lambda: peer(vis, Canvas, Event)}, REPEAT)
    ours, theirs = t["ours"], t["numpy"]
    print("pick on %d vertices: query_in_3d %.1f ms, numpy %.1f ms, ratio %.2f"
          % (N, ours * 1e3, theirs * 1e3, theirs / ours))


if __name__ == "__main__":
    main()
