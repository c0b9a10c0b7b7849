// The setup-file reader on arbitrary bytes: either a record whose every coded setting lies in its
// table, or a typed error with the record left exactly as it was.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "setup/SetupFile.h"

using namespace ksr;

static void CheckCodes(const SetupRecord& r) {
    FUZZ_CHECK(RecordModeNames.contains(r.RecordParams[RecordMode]));
    FUZZ_CHECK(DataTypeNames.contains(r.RecordParams[DataType]));
    FUZZ_CHECK(DiskModeNames.contains(r.RecordParams[DiskMode]));
    for (int c = 1; c <= ChannelCount; ++c) {
        FUZZ_CHECK(r.PrimRateIndex[c] >= 1 && r.PrimRateIndex[c] <= RateCount);
        FUZZ_CHECK(r.SecRateIndex[c] >= 1 && r.SecRateIndex[c] <= SecondaryColumns);
        FUZZ_CHECK(GainNames.contains(r.GainIndex[c]));
        FUZZ_CHECK(r.SecRateValue[c] == SecondaryRates[r.PrimRateIndex[c]][r.SecRateIndex[c]]);
    }
    FUZZ_CHECK(GpsModeNames.contains(r.GpsParams[GpsMode]));
    FUZZ_CHECK(ClockModeNames.contains(r.GpsParams[ClockMode]));
    FUZZ_CHECK(LogModeNames.contains(r.GpsParams[LogMode]));
    for (int flag : r.AuxFlags) FUZZ_CHECK(OffOnNames.contains(flag));
    for (const OutputWindow& w : r.OutputWindows) {
        FUZZ_CHECK(OffOnNames.contains(w.OnOff));
        FUZZ_CHECK(NoYesNames.contains(w.Repeat));
    }
    FUZZ_CHECK(SignalTypeNames.contains(r.OutputWindows[CalOut].SignalType));
    for (const RecWindow& w : r.RecWindows) {
        FUZZ_CHECK(WindowTypeNames.contains(w.WinType));
        FUZZ_CHECK(NoYesNames.contains(w.Repeat));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SetupRecord record;
    record.CurrentYear = 2026;
    SetDefaults(record);
    const SetupRecord before = record;
    try {
        ParseSetupFile(record, bytes, "fuzz.set");
    } catch (const KsrError& e) {
        FUZZ_CHECK(record == before);  // all or nothing
        FUZZ_CHECK(!e.located().empty());
        return 0;
    }
    CheckCodes(record);
    // What was read can be written; writing and reading again gives the same bytes.
    SetupRecord copy = record;
    try {
        const std::string written = FormatSetupFile(copy);
        SetupRecord again;
        again.CurrentYear = 2026;
        SetDefaults(again);
        ParseSetupFile(again, written, "again.set");
        FUZZ_CHECK(FormatSetupFile(again) == written);
    } catch (const RangeError&) {
        // A month outside 1..12 in an active window cannot be named in the report half.
    }
    return 0;
}
