#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"
#include "recorder_ini/RecorderIni.h"

namespace ksr::test {

// Merges the record into a template given as lines, with the given PC cycle limit, and returns
// the resulting lines.
inline std::vector<std::string> Merge(const std::vector<std::string>& templ, const SetupRecord& r,
                                      int pcCycleLimit = 10) {
    RecorderIni ini;
    ini.PcCycleLimit = pcCycleLimit;
    for (std::size_t i = 0; i < templ.size(); ++i) ini.IniLines[static_cast<int>(i) + 1] = templ[i];
    ini.IniLineCount = static_cast<std::uint16_t>(templ.size());
    ini.MergeIniKeys(r);
    return ini.lines();
}

// The merged value of one key line.
inline std::string MergedLine(const std::string& keyLine, const SetupRecord& r, int limit = 10) {
    return Merge({keyLine}, r, limit).at(0);
}

}  // namespace ksr::test
