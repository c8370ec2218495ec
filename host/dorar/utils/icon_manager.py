"""The host's icons: a small drawn icon per name (the real host ships image files)."""
import zlib

from qtpy.QtCore import Qt
from qtpy.QtGui import QColor, QIcon, QPainter, QPixmap

_CACHE = {}


def icon(name):
    """The icon named `name`."""
    if name not in _CACHE:
        pix = QPixmap(16, 16)
        pix.fill(QColor.fromHsv(zlib.crc32(name.encode()) % 360, 160, 200))
        painter = QPainter(pix)
        painter.drawText(pix.rect(), Qt.AlignCenter, name[:1].upper())
        painter.end()
        _CACHE[name] = QIcon(pix)
    return _CACHE[name]
