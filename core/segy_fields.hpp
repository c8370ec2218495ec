// The SEG-Y header fields known by name: where each stands, how wide it is and whether it is
// signed. The engine reports and writes fields by these names, and the format code reads the binary
// header at these positions, so each position is written down here once.
#pragma once

#include <cstddef>

namespace dcore {
namespace segy {

// A field of the 240-byte trace header or the 400-byte binary header.
struct HeaderField {
    const char *name;
    std::size_t pos, bytes;  // 0-based offset from the start of its header, and width
    bool is_signed;
};

// Trace-header fields the writer knows by name (SEG-Y revision 1 positions, from 0).
inline constexpr HeaderField TRACE_FIELDS[] = {
    {"TraceSequenceLine", 0, 4, true}, {"TraceSequenceFile", 4, 4, true}, {"FieldRecord", 8, 4, true},
    {"TraceNumber", 12, 4, true}, {"EnergySourcePoint", 16, 4, true}, {"cdp", 20, 4, true},
    {"cdpTrace", 24, 4, true}, {"TraceIdentificationCode", 28, 2, true}, {"NSummedTraces", 30, 2, true},
    {"NStackedTraces", 32, 2, true}, {"DataUse", 34, 2, true}, {"offset", 36, 4, true},
    {"ReceiverGroupElevation", 40, 4, true}, {"SourceSurfaceElevation", 44, 4, true},
    {"SourceDepth", 48, 4, true}, {"ReceiverDatumElevation", 52, 4, true}, {"SourceDatumElevation", 56, 4, true},
    {"SourceWaterDepth", 60, 4, true}, {"GroupWaterDepth", 64, 4, true}, {"ElevationScalar", 68, 2, true},
    {"SourceGroupScalar", 70, 2, true}, {"SourceX", 72, 4, true}, {"SourceY", 76, 4, true},
    {"GroupX", 80, 4, true}, {"GroupY", 84, 4, true}, {"CoordinateUnits", 88, 2, true},
    {"WeatheringVelocity", 90, 2, true}, {"SubWeatheringVelocity", 92, 2, true},
    {"SourceUpholeTime", 94, 2, true}, {"GroupUpholeTime", 96, 2, true}, {"SourceStaticCorrection", 98, 2, true},
    {"GroupStaticCorrection", 100, 2, true}, {"TotalStaticApplied", 102, 2, true}, {"LagTimeA", 104, 2, true},
    {"LagTimeB", 106, 2, true}, {"DelayRecordingTime", 108, 2, true}, {"MuteTimeStart", 110, 2, true},
    {"MuteTimeEND", 112, 2, true}, {"ns", 114, 2, false}, {"dt", 116, 2, false}, {"GainType", 118, 2, true},
    {"InstrumentGainConstant", 120, 2, true}, {"InstrumentInitialGain", 122, 2, true},
    {"Correlated", 124, 2, true}, {"SweepFrequenceStart", 126, 2, true}, {"SweepFrequenceEnd", 128, 2, true},
    {"SweepLength", 130, 2, true}, {"SweepType", 132, 2, true}, {"SweepTraceTaperLengthStart", 134, 2, true},
    {"SweepTraceTaperLengthEnd", 136, 2, true}, {"TaperType", 138, 2, true},
    {"AliasFilterFrequency", 140, 2, true}, {"AliasFilterSlope", 142, 2, true},
    {"NotchFilterFrequency", 144, 2, true}, {"NotchFilterSlope", 146, 2, true},
    {"LowCutFrequency", 148, 2, true}, {"HighCutFrequency", 150, 2, true}, {"LowCutSlope", 152, 2, true},
    {"HighCutSlope", 154, 2, true}, {"YearDataRecorded", 156, 2, true}, {"DayOfYear", 158, 2, true},
    {"HourOfDay", 160, 2, true}, {"MinuteOfHour", 162, 2, true}, {"SecondOfMinute", 164, 2, true},
    {"TimeBaseCode", 166, 2, true}, {"TraceWeightningFactor", 168, 2, true},
    {"GeophoneGroupNumberRoll1", 170, 2, true}, {"GeophoneGroupNumberFirstTraceOrigField", 172, 2, true},
    {"GeophoneGroupNumberLastTraceOrigField", 174, 2, true}, {"GapSize", 176, 2, true},
    {"OverTravel", 178, 2, true}, {"cdpX", 180, 4, true}, {"cdpY", 184, 4, true}, {"Inline3D", 188, 4, true},
    {"Crossline3D", 192, 4, true}, {"ShotPoint", 196, 4, true}, {"ShotPointScalar", 200, 2, true},
    {"TraceValueMeasurementUnit", 202, 2, true}, {"TransductionConstantMantissa", 204, 4, true},
    {"TransductionConstantPower", 208, 2, true}, {"TransductionUnit", 210, 2, true},
    {"TraceIdentifier", 212, 2, true}, {"ScalarTraceHeader", 214, 2, true}, {"SourceType", 216, 2, true},
    {"SourceEnergyDirectionMantissa", 218, 4, true}, {"SourceEnergyDirectionExponent", 222, 2, true},
    {"SourceMeasurementMantissa", 224, 4, true}, {"SourceMeasurementExponent", 228, 2, true},
    {"SourceMeasurementUnit", 230, 2, true}, {"UnassignedInt1", 232, 4, true}, {"UnassignedInt2", 236, 4, true},
};

// Binary-header fields reported by readSegy (positions from the start of the binary header).
inline constexpr HeaderField BINARY_FIELDS[] = {
    {"Job", 0, 4, true}, {"Line", 4, 4, true}, {"Reel", 8, 4, true}, {"DataTracePerEnsemble", 12, 2, true},
    {"AuxiliaryTracePerEnsemble", 14, 2, true}, {"dt", 16, 2, false}, {"dtOrig", 18, 2, false},
    {"ns", 20, 2, false}, {"nsOrig", 22, 2, false}, {"DataSampleFormat", 24, 2, true},
    {"EnsembleFold", 26, 2, true}, {"TraceSorting", 28, 2, true}, {"VerticalSumCode", 30, 2, true},
    {"SweepFrequencyStart", 32, 2, true}, {"SweepFrequencyEnd", 34, 2, true}, {"SweepLength", 36, 2, true},
    {"SweepType", 38, 2, true}, {"SweepChannel", 40, 2, true}, {"SweepTaperlengthStart", 42, 2, true},
    {"SweepTaperLengthEnd", 44, 2, true}, {"TaperType", 46, 2, true}, {"CorrelatedDataTraces", 48, 2, true},
    {"BinaryGain", 50, 2, true}, {"AmplitudeRecoveryMethod", 52, 2, true}, {"MeasurementSystem", 54, 2, true},
    {"ImpulseSignalPolarity", 56, 2, true}, {"VibratoryPolarityCode", 58, 2, true},
    {"SegyFormatRevisionNumber", 300, 2, false}, {"FixedLengthTraceFlag", 302, 2, true},
    {"NumberOfExtTextualHeaders", 304, 2, true},
};

// Binary-header fields of revision 2 that the reader works with but readSegy does not report.
inline constexpr HeaderField BINARY_REVISION2_FIELDS[] = {
    {"ExtSamplesPerTrace", 68, 4, false},
    {"ByteOrderConstant", 96, 4, false},
    {"MaxAdditionalTraceHeaders", 306, 4, false},
};

constexpr bool same_name(const char *a, const char *b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// The field of `table` called `name`, or nullptr. Also works at compile time (see segy_format.cpp).
template <std::size_t N>
constexpr const HeaderField *find_field(const HeaderField (&table)[N], const char *name) {
    for (const HeaderField &f : table)
        if (same_name(f.name, name)) return &f;
    return nullptr;
}

}  // namespace segy
}  // namespace dcore
