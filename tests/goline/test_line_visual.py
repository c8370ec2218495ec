"""The 3D line visual: construction, its two added properties and easy_update."""
import numpy as np
import pytest

from dorar.goline import visual
from dorar.goline.line import Line
from dorar.goline.visual import LinePlot

XYZ = np.array([[0, 0, 0], [1, 2, 0], [3, 1, 1], [4, 4, 2]], dtype=float)


@pytest.fixture
def line():
    dob = Line("well", XYZ)
    vis = LinePlot(data=XYZ, connect=dob.vertexes["segment"], color="red", width=3, symbol="disc",
                   marker_size=8, edge_color="black", face_color="yellow", edge_width=1)
    vis.host_dob = dob
    return dob, vis


def markers(vis, field):
    return vis._markers._data[field]


def test_module_binds_np_scene_and_the_class():
    import vispy.scene
    assert visual.np is np and visual.scene is vispy.scene
    assert sorted(n for n in vars(visual) if not n.startswith("__")) == ["LinePlot", "np", "scene"]
    assert LinePlot.__mro__[1] is vispy.scene.visuals.LinePlot and LinePlot.__module__ == "dorar.goline.visual"


def test_new_visual(line):
    vis = LinePlot()
    assert vis.queryable_in_3d is True and vis.host_dob is None
    assert vis.interactive is True
    assert vis._markers._vshare.gl_state["depth_test"] is True
    with pytest.raises(AttributeError):
        vis.something_new = 1  # frozen again after the constructor
    with pytest.raises(TypeError):
        LinePlot(XYZ)
    with pytest.raises(TypeError):
        LinePlot(no_such_keyword=1)


def test_properties_store_values_unchanged(line):
    _, vis = line
    vis.queryable_in_3d = "no"
    assert vis.queryable_in_3d == "no"
    marker = object()
    vis.host_dob = marker
    assert vis.host_dob is marker
    doc = LinePlot.queryable_in_3d.__doc__.split("\n")
    assert doc[0] == "The queryable in 3D." and [l.strip() for l in doc[2:5]] == [
        ":getter: Returns the queryable", ":setter: Sets the queryable", ":type: bool"]
    doc = LinePlot.host_dob.__doc__.split("\n")
    assert doc[0] == "The host DOB." and [l.strip() for l in doc[2:5]] == [
        ":getter: Returns the host DOB", ":setter: Sets the host DOB", ":type: object"]
    assert LinePlot.easy_update.__doc__ == "Update the visual."


def test_setters_take_their_value_by_its_name(line):
    _, vis = line
    marker = object()
    LinePlot.queryable_in_3d.fset(vis, boolean=0)
    LinePlot.host_dob.fset(vis, dob=marker)
    assert vis.queryable_in_3d == 0 and vis.host_dob is marker


def test_easy_update_rereads_the_object_and_keeps_the_style(line):
    dob, vis = line
    sizes = np.array([8, 9, 10, 11], dtype=np.float32)
    vis._markers._data["a_size"] = sizes  # per-vertex values become the first vertex's
    dob.vertexes["xyz"] = XYZ + 10
    assert vis.easy_update() is None
    np.testing.assert_array_equal(markers(vis, "a_position"), XYZ + 10)
    np.testing.assert_array_equal(vis._line.pos, XYZ + 10)
    assert vis._line.width == 3 and vis._markers.symbol == "disc"
    assert vis._line.color == "red"
    np.testing.assert_array_equal(markers(vis, "a_size"), [8, 8, 8, 8])
    np.testing.assert_allclose(markers(vis, "a_bg_color"), [[1, 1, 0, 1]] * 4)
    np.testing.assert_allclose(markers(vis, "a_fg_color"), [[0, 0, 0, 1]] * 4)

    vis.easy_update(face_color=(0, 0, 1, 1), width=0)
    np.testing.assert_allclose(markers(vis, "a_bg_color"), [[0, 0, 1, 1]] * 4)
    assert vis._line.width == 0  # only None counts as left out


def test_easy_update_with_data_and_connect_needs_no_object():
    vis = LinePlot(data=XYZ, symbol="o")
    vis.easy_update(data=XYZ[:2], connect=np.array([[0, 1]]))
    np.testing.assert_array_equal(markers(vis, "a_position"), XYZ[:2])
    with pytest.raises(AttributeError):
        vis.easy_update(data=XYZ)  # connect from a missing object
    np.testing.assert_array_equal(markers(vis, "a_position"), XYZ[:2])


def test_easy_update_refusals(line):
    dob, vis = line
    del dob.vertexes["segment"]
    with pytest.raises(KeyError):
        vis.easy_update()
    with pytest.raises(TypeError):
        vis.easy_update(*range(10))
    with pytest.raises(TypeError):
        vis.easy_update(colour="red")
