// The tool-button row shared by the panels of this package (plot panel, process log panel).
#pragma once

#include <dorar/pymod.hpp>

namespace dorar {

// The panel's tool-button row: first the horizontal box, then the panel's own `setup_buttons`, whose
// buttons go into the row in order with 16 x 16 icons; when `options_button` is true by the
// interpreter's truth test, a stretch and then the options button, aligned right with no stretch
// of its own (given by position, the flag would be taken as a stretch factor and the button would
// widen across the row). The module must have QHBoxLayout, QSize and Qt among its globals.
inline py::object tool_row(const Globals &g, const py::object &panel, const py::object &options_button) {
    py::object row = g("QHBoxLayout")();  // the row exists before any button is made
    py::object buttons = panel.attr("setup_buttons")();
    for (py::handle button : buttons) {
        button.attr("setIconSize")(g("QSize")(16, 16));
        row.attr("addWidget")(button);
    }
    if (py::bool_(options_button)) {
        row.attr("addStretch")();
        row.attr("addWidget")(options_button, py::arg("alignment") = g("Qt").attr("AlignRight"));
    }
    return row;
}

}  // namespace dorar
