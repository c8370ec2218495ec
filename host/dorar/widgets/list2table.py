"""Table widget from row lists."""
from qtpy.QtWidgets import QApplication, QTableWidget, QTableWidgetItem

_app = None


def _ensure_application():
    # The host always runs one; a script that calls in without it gets one made here.
    global _app
    if QApplication.instance() is None:
        _app = QApplication([])


def list2table(listData, columnNames, tableName=None):
    """Make a read-only table: one row per list of listData, columnNames as the column titles.

    Every value is shown as its text form. The rows and titles are kept on the table as given
    (`listData`, `columnNames`).
    """
    _ensure_application()
    rows = [list(row) for row in listData]
    table = QTableWidget(len(rows), len(columnNames))
    table.setHorizontalHeaderLabels([str(name) for name in columnNames])
    for r, row in enumerate(rows):
        if len(row) > len(columnNames):
            raise ValueError("row %d has %d values for %d columns" % (r, len(row), len(columnNames)))
        for c, value in enumerate(row):
            table.setItem(r, c, QTableWidgetItem(str(value)))
    table.setEditTriggers(QTableWidget.NoEditTriggers)
    if tableName is not None:
        table.setWindowTitle(tableName)
    table.listData = listData
    table.columnNames = columnNames
    return table
