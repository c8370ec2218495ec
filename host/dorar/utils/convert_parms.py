"""Converters from a volume index and a survey to the cube corners and sampling parameters."""
import math


def get_vxyz_of_grid_index(dict_vidx, survey):
    il0, il1 = dict_vidx["IL_FRST"], dict_vidx["IL_LAST"]
    xl0, xl1 = dict_vidx["XL_FRST"], dict_vidx["XL_LAST"]
    ox, oy = survey.ln2xy(il0, xl0)
    ilx, ily = survey.ln2xy(il1, xl0)
    xlx, xly = survey.ln2xy(il0, xl1)
    return {
        "AXIS_ORX": float(ox), "AXIS_ORY": float(oy), "AXIS_ORZ": dict_vidx["DP_FRST"],
        "AXIS_ILX": float(ilx), "AXIS_ILY": float(ily), "AXIS_ILZ": dict_vidx["DP_FRST"],
        "AXIS_XLX": float(xlx), "AXIS_XLY": float(xly), "AXIS_XLZ": dict_vidx["DP_FRST"],
        "AXIS_DPX": float(ox), "AXIS_DPY": float(oy), "AXIS_DPZ": dict_vidx["DP_LAST"],
    }


def get_parm_of_grid_index(dict_vidx, survey, data_vel_type="seismic", **kwargs):
    il_step = dict_vidx["IL_NCRT"] or 1
    xl_step = dict_vidx["XL_NCRT"] or 1
    x0, y0 = survey.ln2xy(dict_vidx["IL_FRST"], dict_vidx["XL_FRST"])
    x1, y1 = survey.ln2xy(dict_vidx["IL_FRST"] + il_step, dict_vidx["XL_FRST"])
    x2, y2 = survey.ln2xy(dict_vidx["IL_FRST"], dict_vidx["XL_FRST"] + xl_step)
    pndx, pndy = float(x1 - x0), float(y1 - y0)
    trdx, trdy = float(x2 - x0), float(y2 - y0)
    return {
        "PANEL_INC": math.hypot(pndx, pndy), "PANEL_UNIT": "m", "PNDX": pndx, "PNDY": pndy,
        "TRACE_INC": math.hypot(trdx, trdy), "TRACE_UNIT": "m", "TRDX": trdx, "TRDY": trdy,
        "SAMPLE_INC": dict_vidx["DP_NCRT"], "SAMPLE_UNIT": "ms",
        "DATA_VEL_TYPE": data_vel_type,
    }
