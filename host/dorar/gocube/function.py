"""Volume-index helpers."""

VIDX_KEYS = ("IL_FRST", "IL_LAST", "IL_NCRT", "IL_AMNT",
             "XL_FRST", "XL_LAST", "XL_NCRT", "XL_AMNT",
             "DP_FRST", "DP_LAST", "DP_NCRT", "DP_AMNT")

# Depth (or time) positions are reals; line numbers and every count are integers.
_REAL_KEYS = ("DP_FRST", "DP_LAST", "DP_NCRT")


def vidx_dict2list(dict_vidx):
    """The twelve values of a dict_vidx in key order (inline, crossline, depth; FRST LAST NCRT AMNT)."""
    return [dict_vidx[key] for key in VIDX_KEYS]


def vidx_format_dtype(dict_vidx):
    """Give each value of dict_vidx its type, in place: depth positions real, the rest integer."""
    for key in VIDX_KEYS:
        if key in dict_vidx:
            conv = float if key in _REAL_KEYS else int
            dict_vidx[key] = conv(dict_vidx[key])
    return dict_vidx
