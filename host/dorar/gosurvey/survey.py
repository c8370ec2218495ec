"""Survey: the three-point geometry tying inline and crossline numbers to map coordinates."""
import numpy as np

SGMT_KEYS = ("P1_ILNO", "P1_XLNO", "P1_CRSX", "P1_CRSY",
             "P2_ILNO", "P2_XLNO", "P2_CRSX", "P2_CRSY",
             "P3_ILNO", "P3_XLNO", "P3_CRSX", "P3_CRSY")


class Survey(object):
    geometry_type = "Survey"

    def __init__(self, name):
        self.name = name
        self.dict_sgmt = None
        self.initialized = False

    def set_geometry(self, dict_sgmt):
        self.dict_sgmt = dict_sgmt

    def initialize(self):
        """Derive the affine grid: (X, Y) = origin + (il - il0) * d_il + (xl - xl0) * d_xl.

        P1 is the origin, P2 the end of the first inline (first inline, last crossline),
        P3 the end of the first crossline (last inline, first crossline).
        """
        g = self.dict_sgmt
        p1 = np.array([g["P1_CRSX"], g["P1_CRSY"]], dtype=float)
        p2 = np.array([g["P2_CRSX"], g["P2_CRSY"]], dtype=float)
        p3 = np.array([g["P3_CRSX"], g["P3_CRSY"]], dtype=float)
        self.il0, self.xl0 = g["P1_ILNO"], g["P1_XLNO"]
        n_xl = g["P2_XLNO"] - g["P1_XLNO"]
        n_il = g["P3_ILNO"] - g["P1_ILNO"]
        self.origin = p1
        self.d_xl = (p2 - p1) / n_xl if n_xl else np.zeros(2)
        self.d_il = (p3 - p1) / n_il if n_il else np.zeros(2)
        self.initialized = True

    def ln2xy(self, il, xl):
        """Map coordinates of inline and crossline numbers."""
        il = np.asarray(il, dtype=float)
        xl = np.asarray(xl, dtype=float)
        x = self.origin[0] + (il - self.il0) * self.d_il[0] + (xl - self.xl0) * self.d_xl[0]
        y = self.origin[1] + (il - self.il0) * self.d_il[1] + (xl - self.xl0) * self.d_xl[1]
        return x, y
