// The keys of the survey geometry (dict_sgmt) and of the volume index (dict_vidx), in the order
// in which the dicts are built and the sgmt and vidx files list them.
#pragma once

namespace dcore {

// Inline and crossline numbers, then map X and Y, of the reference points P1, P2 and P3.
inline constexpr const char *SGMT_KEYS[12] = {"P1_ILNO", "P1_XLNO", "P1_CRSX", "P1_CRSY", "P2_ILNO", "P2_XLNO",
                                              "P2_CRSX", "P2_CRSY", "P3_ILNO", "P3_XLNO", "P3_CRSX", "P3_CRSY"};

// First, last, increment and count of the inline, crossline and depth axes.
inline constexpr const char *VIDX_KEYS[12] = {"IL_FRST", "IL_LAST", "IL_NCRT", "IL_AMNT", "XL_FRST", "XL_LAST",
                                              "XL_NCRT", "XL_AMNT", "DP_FRST", "DP_LAST", "DP_NCRT", "DP_AMNT"};

}  // namespace dcore
