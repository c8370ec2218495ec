// dorar.gosurvey.new.new: survey geometries from three reference points, corner coordinates or a
// volume index, and new host surveys made from them.
#include <dorar/pymod.hpp>

#include "geometry_keys.hpp"

namespace py = pybind11;
using dorar::Globals;
using dcore::SGMT_KEYS;

namespace {

const char *FROM_COORD_DOC =
    "\n"
    "    Create a survey from the map coordinates of three corners and the line ranges.\n"
    "    -i- name : string, name of the new survey.\n"
    "    -i- xOrigin, yOrigin : XY of the origin (first inline, first crossline).\n"
    "    -i- xInlineEnd, yInlineEnd : XY of the end of the first inline.\n"
    "    -i- xCrosslineEnd, yCrosslineEnd : XY of the end of the first crossline.\n"
    "    -i- ilMin, ilMax : first and last inline numbers.\n"
    "    -i- xlMin, xlMax : first and last crossline numbers.\n"
    "    -o- survey : Survey.\n"
    "    ";

const char *OF_GRID_INDEX_DOC =
    "\n"
    "    Create a survey named DEFAULT from the line ranges of a volume index.\n"
    "    -i- dict_vidx : dictionary, volume index (IL_FRST, IL_LAST, XL_FRST, XL_LAST are read).\n"
    "    -i- xys : X and Y of P1, P2 and P3, six numbers; (0, 0, 0, 10, 10, 0) when omitted.\n"
    "    -o- survey : Survey.\n"
    "    ";

const char *FROM_POINTS_DOC =
    "\n"
    "    Create a survey named DEFAULT from three points (ILNO, XLNO, X, Y).\n"
    "    -i- p1, p2, p3 : origin, end of the first inline, end of the first crossline;\n"
    "        an omitted point takes its default.\n"
    "    -o- survey : Survey.\n"
    "    ";

const char *FROM_SGMT_DOC =
    "\n"
    "    Create a survey from a survey geometry dictionary.\n"
    "    -i- dict_sgmt : dictionary, survey geometry linking XY and LN.\n"
    "    -i- name : string, name of the new survey.\n"
    "    -o- survey : Survey.\n"
    "    ";

const char *SGMT_FROM_POINTS_DOC =
    "\n"
    "    Build a survey geometry dictionary from three points (ILNO, XLNO, X, Y).\n"
    "    -i- p1, p2, p3 : origin, end of the first inline, end of the first crossline;\n"
    "        an omitted point takes its default.\n"
    "    -o- dict_sgmt : dictionary, survey geometry linking XY and LN.\n"
    "    ";

// The default points describe inlines 1..11 and crosslines 1..11 over a 10 x 10 square.
py::object default_point(int which) {
    switch (which) {
        case 0: return py::make_tuple(1, 1, 0.0, 0.0);
        case 1: return py::make_tuple(1, 11, 0.0, 10.0);
        default: return py::make_tuple(11, 1, 10.0, 0.0);
    }
}

// Item `i` of a point or coordinate sequence, read by position as `seq[i]` reads it.
py::object item(const py::object &seq, int i) { return seq[py::int_(i)]; }

py::dict sgmt_from_points(py::object p1, py::object p2, py::object p3) {
    py::object pts[3] = {std::move(p1), std::move(p2), std::move(p3)};
    for (int n = 0; n < 3; ++n)
        if (pts[n].is_none()) pts[n] = default_point(n);
    py::dict sgmt;
    for (int n = 0; n < 3; ++n)
        for (int i = 0; i < 4; ++i) sgmt[SGMT_KEYS[4 * n + i]] = item(pts[n], i);
    return sgmt;
}

}  // namespace

DORAR_MODULE(new, m) {
    dorar::from_import(m, "dorar.gosurvey.survey", {"Survey"});
    Globals g(m);

    // The survey makers reach each other through the module's names, so a replaced function is seen.
    dorar::def(
        m, "from_coord",
        [g](py::object name, py::object xOrigin, py::object yOrigin, py::object xInlineEnd, py::object yInlineEnd,
            py::object xCrosslineEnd, py::object yCrosslineEnd, py::object ilMin, py::object ilMax,
            py::object xlMin, py::object xlMax) {
            py::object p1 = py::make_tuple(ilMin, xlMin, xOrigin, yOrigin);
            py::object p2 = py::make_tuple(ilMin, xlMax, xInlineEnd, yInlineEnd);
            py::object p3 = py::make_tuple(ilMax, xlMin, xCrosslineEnd, yCrosslineEnd);
            py::object sgmt = g("new_sgmt_from_points")(p1, p2, p3);
            return g("new_survey_from_sgmt")(sgmt, py::arg("name") = name);
        },
        FROM_COORD_DOC, py::arg("name"), py::arg("xOrigin"), py::arg("yOrigin"), py::arg("xInlineEnd"),
        py::arg("yInlineEnd"), py::arg("xCrosslineEnd"), py::arg("yCrosslineEnd"), py::arg("ilMin"),
        py::arg("ilMax"), py::arg("xlMin"), py::arg("xlMax"));

    dorar::def(
        m, "new_survey_of_grid_index",
        [g](py::object dict_vidx, py::object xys) {
            if (xys.is_none()) xys = py::make_tuple(0.0, 0.0, 0.0, 10.0, 10.0, 0.0);
            auto vidx = [&](const char *key) -> py::object { return dict_vidx[py::str(key)]; };
            // Read in key order: each point's line numbers, then its two coordinates.
            const char *lines[6] = {"IL_FRST", "XL_FRST", "IL_FRST", "XL_LAST", "IL_LAST", "XL_FRST"};
            py::dict sgmt;
            for (int n = 0; n < 3; ++n) {
                sgmt[SGMT_KEYS[4 * n + 0]] = vidx(lines[2 * n]);
                sgmt[SGMT_KEYS[4 * n + 1]] = vidx(lines[2 * n + 1]);
                sgmt[SGMT_KEYS[4 * n + 2]] = item(xys, 2 * n);
                sgmt[SGMT_KEYS[4 * n + 3]] = item(xys, 2 * n + 1);
            }
            return g("new_survey_from_sgmt")(sgmt);
        },
        OF_GRID_INDEX_DOC, py::arg("dict_vidx"), py::arg("xys") = py::none());

    dorar::def(
        m, "new_survey_from_points",
        [g](py::object p1, py::object p2, py::object p3) {
            py::object sgmt = g("new_sgmt_from_points")(p1, p2, p3);
            return g("new_survey_from_sgmt")(sgmt);
        },
        FROM_POINTS_DOC, py::arg("p1") = py::none(), py::arg("p2") = py::none(), py::arg("p3") = py::none());

    dorar::def(
        m, "new_survey_from_sgmt",
        [g](py::object dict_sgmt, py::object name) {
            py::object survey = g("Survey")(name);
            survey.attr("set_geometry")(dict_sgmt);
            survey.attr("initialize")();
            return survey;
        },
        FROM_SGMT_DOC, py::arg("dict_sgmt"), py::arg("name") = py::str("DEFAULT"));

    dorar::def(
        m, "new_sgmt_from_points",
        [](py::object p1, py::object p2, py::object p3) { return sgmt_from_points(p1, p2, p3); },
        SGMT_FROM_POINTS_DOC, py::arg("p1") = py::none(), py::arg("p2") = py::none(), py::arg("p3") = py::none());
}
