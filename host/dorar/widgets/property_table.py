"""The property table of the host's object style editors."""
import numpy as np
from qtpy.QtWidgets import QTableWidgetItem

HEADER = ["Property", "Type", "Minimum", "Maximum"]


def _summary(prop):
    """dtype, minimum and maximum of a property (an array, or a map holding one)."""
    if isinstance(prop, dict):
        prop = next((v for v in prop.values() if isinstance(v, np.ndarray)), None)
    if not isinstance(prop, np.ndarray) or prop.size == 0:
        return ["", "", ""]
    if prop.dtype.kind in "biuf":
        return [str(prop.dtype), "%g" % np.nanmin(prop), "%g" % np.nanmax(prop)]
    return [str(prop.dtype), "", ""]


def refresh(table, prop):
    """Refills `table` (a QTableWidget) with one row per entry of `prop`, in the map's order."""
    table.clear()
    table.setColumnCount(len(HEADER))
    table.setHorizontalHeaderLabels(HEADER)
    table.setRowCount(len(prop))
    for row, (name, value) in enumerate(prop.items()):
        for col, text in enumerate([str(name)] + _summary(value)):
            table.setItem(row, col, QTableWidgetItem(text))
