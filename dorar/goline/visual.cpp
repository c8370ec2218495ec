// dorar.goline.visual: the 3D visual of a line object, with vertex picking by colour identifiers.
#include <dorar/pymod.hpp>
#include <dorar/signal_check.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "pick_colors.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *QUERYABLE_DOC =
    "The queryable in 3D.\n"
    "\n"
    "        :getter: Returns the queryable\n"
    "        :setter: Sets the queryable\n"
    "        :type: bool\n"
    "        ";

const char *HOST_DOB_DOC =
    "The host DOB.\n"
    "\n"
    "        :getter: Returns the host DOB\n"
    "        :setter: Sets the host DOB\n"
    "        :type: object\n"
    "        ";

const char *QUERY_DOC =
    "Query values in 3D view.\n"
    "\n"
    "        :param canvas: the 3D canvas\n"
    "        :param event: mouse press event\n"
    "        ";

// Pixels around the click on each side: the colour pass renders a (2r + 1) square.
constexpr int CLICK_RADIUS = 2;

// Runs `body`, then `cleanup` whether `body` succeeded or raised; an error of `body` is raised
// again after `cleanup`, and an error of `cleanup` takes its place (chained to it), as `finally`.
template <typename Body, typename Cleanup>
void run_finally(Body body, Cleanup cleanup) {
    try {
        body();
    } catch (py::error_already_set &first) {
        try {
            cleanup();
        } catch (py::error_already_set &second) {
            PyException_SetContext(second.value().ptr(), first.value().inc_ref().ptr());
            throw;
        }
        throw;
    }
    cleanup();
}

py::object marker_field(const py::object &self, const char *field) {
    return self.attr("_markers").attr("_data")[py::str(field)];
}

// The identifier colours of all n vertices as one n x 4 float32 array.
py::array_t<float> identifier_colors(std::uint64_t n) {
    if (n > dcore::kMaxPickVertices) {
        PyErr_Format(PyExc_ValueError,
                     "cannot pick among %llu vertices: colour identifiers tell apart at most %llu",
                     static_cast<unsigned long long>(n), static_cast<unsigned long long>(dcore::kMaxPickVertices));
        throw py::error_already_set();
    }
    py::array_t<float> colors({static_cast<py::ssize_t>(n), py::ssize_t{4}});
    float *out = colors.mutable_data();
    {
        dorar::ReleasedGil nogil;
        dcore::identifier_colors(static_cast<std::size_t>(n), out);
    }
    return colors;
}

// The identifier under the click in a rendered region (RGBA bytes, 4 per pixel), 0 for none.
std::uint32_t identifier_in(const Globals &g, const py::object &image, std::uint64_t n) {
    py::array arr = g("np").attr("ascontiguousarray")(image);
    if (arr.itemsize() != 1) {
        std::string dtype = py::str(arr.dtype());
        PyErr_Format(PyExc_TypeError, "the rendered region must be RGBA bytes, not an array of %s", dtype.c_str());
        throw py::error_already_set();
    }
    const std::size_t bytes = static_cast<std::size_t>(arr.size());
    if (bytes % 4 != 0) {
        PyErr_Format(PyExc_ValueError, "the rendered region holds %zu bytes, not 4 per pixel", bytes);
        throw py::error_already_set();
    }
    std::vector<std::uint32_t> values(bytes / 4);
    dcore::decode_pixels(static_cast<const std::uint8_t *>(arr.data()), values.size(), values.data());
    return dcore::choose_identifier(values.data(), values.size(), n);
}

// Makes the canvas's next render of a region draw that region. Its transform system applies the
// mapping of a render region only when it differs from the mapping it last applied, but leaving a
// region puts the canvas transform back to identity without forgetting that region: a second
// render of the same region then draws the canvas's lower-left corner (vispy 0.6). Configuring the
// idle state through a rectangle (the whole framebuffer onto itself) changes no transform and
// leaves the identity as the mapping last applied, so the coming region is mapped afresh.
void forget_render_region(const py::object &canvas) {
    py::tuple size = canvas.attr("physical_size");
    canvas.attr("transforms").attr("configure")(py::arg("fbo_size") = size,
                                               py::arg("fbo_rect") = py::make_tuple(0, 0, size[0], size[1]));
}

}  // namespace

DORAR_MODULE(visual, m) {
    dorar::import_as(m, "numpy", "np");
    dorar::from_import(m, "vispy", {"scene"});
    Globals g(m);

    dorar::ClassBuilder cb(m, "LinePlot", py::make_tuple(g("scene").attr("visuals").attr("LinePlot")));
    auto ref = cb.ref();
    cb.def(
          "__init__",
          [ref](py::object self, py::kwargs kwargs) {
              ref->super(self).attr("__init__")(**kwargs);
              self.attr("set_gl_state")(py::arg("depth_test") = true);
              self.attr("interactive") = true;
              self.attr("unfreeze")();
              self.attr("_queryable_in_3d") = true;
              self.attr("_host_dob") = py::none();
              self.attr("freeze")();
          },
          nullptr)
        .property(
            "queryable_in_3d", [](py::object self) { return self.attr("_queryable_in_3d"); },
            [](py::object self, py::object boolean) { self.attr("_queryable_in_3d") = boolean; }, QUERYABLE_DOC,
            py::arg("boolean"))
        .property(
            "host_dob", [](py::object self) { return self.attr("_host_dob"); },
            [](py::object self, py::object dob) { self.attr("_host_dob") = dob; }, HOST_DOB_DOC, py::arg("dob"))
        .def(
            "easy_update",
            [](py::object self, py::object data, py::object color, py::object width, py::object connect,
               py::object symbol, py::object marker_size, py::object edge_color, py::object face_color,
               py::object edge_width) {
                if (data.is_none()) data = self.attr("host_dob").attr("vertexes")[py::str("xyz")];
                if (connect.is_none()) connect = self.attr("host_dob").attr("vertexes")[py::str("segment")];
                if (color.is_none()) color = self.attr("_line").attr("_color");
                if (width.is_none()) width = self.attr("_line").attr("_width");
                if (symbol.is_none()) symbol = self.attr("_markers").attr("_symbol");
                if (marker_size.is_none()) marker_size = marker_field(self, "a_size")[py::int_(0)];
                if (edge_color.is_none()) edge_color = marker_field(self, "a_fg_color")[py::int_(0)];
                if (face_color.is_none()) face_color = marker_field(self, "a_bg_color")[py::int_(0)];
                if (edge_width.is_none()) edge_width = marker_field(self, "a_edgewidth")[py::int_(0)];
                self.attr("set_data")(py::arg("data") = data, py::arg("connect") = connect,
                                      py::arg("color") = color, py::arg("symbol") = symbol,
                                      py::arg("width") = width, py::arg("marker_size") = marker_size,
                                      py::arg("edge_color") = edge_color, py::arg("face_color") = face_color,
                                      py::arg("edge_width") = edge_width);
            },
            "Update the visual.", py::arg("data") = py::none(), py::arg("color") = py::none(),
            py::arg("width") = py::none(), py::arg("connect") = py::none(), py::arg("symbol") = py::none(),
            py::arg("marker_size") = py::none(), py::arg("edge_color") = py::none(),
            py::arg("face_color") = py::none(), py::arg("edge_width") = py::none())
        .def(
            "query_in_3d",
            [g](py::object self, py::object canvas, py::object event) {
                const auto n = py::len(marker_field(self, "a_position"));
                py::array_t<float> ids = identifier_colors(n);
                // Every face colour is saved, so that colours differing from vertex to vertex survive
                // the pick; a line without vertices has nothing to pick.
                py::object bg = marker_field(self, "a_bg_color");
                if (py::len(bg) == 0) {
                    PyErr_SetString(PyExc_IndexError, "cannot pick a vertex of a line that has no vertices");
                    throw py::error_already_set();
                }
                py::object saved = bg.attr("copy")();
                py::object xy = canvas.attr("transforms").attr("canvas_transform").attr("map")(event.attr("pos"));
                py::object x = xy[py::int_(0)], y = xy[py::int_(1)];
                py::int_ radius(CLICK_RADIUS), side(2 * CLICK_RADIUS + 1);

                // The line is drawn at the markers' depth and would cover them in the colour pass:
                // it stays hidden until the identifiers are rendered.
                py::object line = self.attr("_line");
                py::object line_visible = line.attr("visible");
                py::object image;
                run_finally(
                    [&] {
                        self.attr("update_gl_state")(py::arg("blend") = false);
                        line.attr("visible") = false;
                        self.attr("host_dob").attr("update_vs3d")(py::arg("face_color") = ids);
                        py::tuple region = py::make_tuple(x - radius, y - radius, side, side);
                        forget_render_region(canvas);
                        image = canvas.attr("render")(region, py::arg("bgcolor") = py::make_tuple(0, 0, 0, 0));
                    },
                    [&] {
                        line.attr("visible") = line_visible;
                        self.attr("update_gl_state")(py::arg("blend") = true);
                        self.attr("host_dob").attr("update_vs3d")(py::arg("face_color") = saved);
                    });

                const std::uint32_t id = identifier_in(g, image, n);
                if (id > 0)
                    self.attr("host_dob").attr("print_properties")(py::int_(id - 1));
                else
                    dorar::print("No vertex is clicked");
            },
            QUERY_DOC, py::arg("canvas"), py::arg("event"));
    cb.build();
}
