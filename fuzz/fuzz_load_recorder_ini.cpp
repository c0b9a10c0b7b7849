// LoadRecorderIni's line splitting on arbitrary bytes.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "recorder_ini/RecorderIni.h"

using namespace ksr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RecorderIni ini;
    try {
        ini.loadLinesFrom(bytes, "recorder.ini");
    } catch (const RangeError&) {
        FUZZ_CHECK(ini.IniLineCount == 0);
        return 0;
    }
    FUZZ_CHECK(ini.IniLineCount <= IniLineCapacity);
    std::size_t total = 0;
    for (int i = 1; i <= ini.IniLineCount; ++i) {
        FUZZ_CHECK(ini.IniLines[i].size() <= IniLineWidth);
        FUZZ_CHECK(ini.IniLines[i].str().find('\n') == std::string::npos);
        total += ini.IniLines[i].size();
    }
    FUZZ_CHECK(total <= bytes.size());
    return 0;
}
