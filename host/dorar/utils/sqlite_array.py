"""SQLite adapter and converter for numpy arrays (the column type "ARRAY").

register with:
    sqlite3.register_adapter(np.ndarray, adapt_array)
    sqlite3.register_converter("ARRAY", convert_array)
"""
import io
import sqlite3

import numpy as np


def adapt_array(arr):
    """Array to a database value: the .npy bytes, which keep values, element type and shape."""
    buf = io.BytesIO()
    np.save(buf, np.asanyarray(arr), allow_pickle=False)
    return sqlite3.Binary(buf.getvalue())


def convert_array(text):
    """Database value (bytes of adapt_array) back to the array."""
    return np.load(io.BytesIO(text), allow_pickle=False)
