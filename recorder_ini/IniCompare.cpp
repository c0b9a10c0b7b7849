#include "recorder_ini/IniCompare.h"

#include <algorithm>
#include <map>

#include "recorder_ini/RecorderIni.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

bool IsTimerKey(const std::string& key) {
    return key == "cala" || key == "burst" || key.rfind("cald", 0) == 0;
}

struct Parsed {
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, std::string>> keys;  // in order, repeats numbered
    std::vector<int> keyLine;                                // the line of each key
    std::vector<std::string> timer;
    std::vector<int> timerLine;
};

Parsed Parse(const std::string& bytes) {
    Parsed p;
    p.lines = SplitLines(bytes);
    std::map<std::string, int> seen;
    bool inTimer = false;
    for (int i = 0; i < static_cast<int>(p.lines.size()); ++i) {
        const std::string& line = p.lines[static_cast<std::size_t>(i)];
        if (line == "[timer]") {
            inTimer = true;
            continue;
        }
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        const std::size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        if (inTimer || IsTimerKey(key)) {
            p.timer.push_back(line);
            p.timerLine.push_back(i);
            continue;
        }
        if (eq == std::string::npos) continue;
        const int n = ++seen[key];
        p.keys.emplace_back(n == 1 ? key : key + " (" + fmt::Free(n) + ")", line.substr(eq + 1));
        p.keyLine.push_back(i);
    }
    return p;
}

// The lines of `a` that `b` lacks, as many times as `a` has them more often.
std::vector<std::size_t> OnlyIn(const std::vector<std::string>& a,
                                const std::vector<std::string>& b) {
    std::map<std::string, int> count;
    for (const auto& line : b) ++count[line];
    std::vector<std::size_t> only;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (count[a[i]]-- <= 0) only.push_back(i);
    return only;
}

}  // namespace

std::string IniKeyLabel(const std::string& key) {
    for (int k = 1; k <= IniKeyCount; ++k) {
        const std::string_view name = IniKeys[k].key;
        if (name.size() == key.size() + 1 && name.back() == '=' && name.substr(0, key.size()) == key)
            return IniKeyLabel(k);
    }
    return {};
}

int IniComparison::differingLines() const {
    return static_cast<int>(std::count(recorderLineDiffers.begin(), recorderLineDiffers.end(), true));
}

IniComparison CompareRecorderIni(const std::string& recorderBytes, const std::string& fileBytes) {
    const Parsed rec = Parse(recorderBytes), file = Parse(fileBytes);
    IniComparison c;
    c.recorderLineDiffers.assign(rec.lines.size(), false);
    std::map<std::string, std::size_t> fileKey;
    for (std::size_t i = 0; i < file.keys.size(); ++i) fileKey.emplace(file.keys[i].first, i);
    std::map<std::string, bool> onRecorder;
    const auto labelled = [](const std::string& key) {
        return IniKeyLabel(key.substr(0, key.find(' ')));
    };
    for (std::size_t i = 0; i < rec.keys.size(); ++i) {
        const auto& [key, value] = rec.keys[i];
        onRecorder[key] = true;
        const auto it = fileKey.find(key);
        const std::string other = it == fileKey.end() ? "-" : file.keys[it->second].second;
        if (it != fileKey.end() && other == value) continue;
        c.keys.push_back({key, labelled(key), value, other});
        c.recorderLineDiffers[static_cast<std::size_t>(rec.keyLine[i])] = true;
    }
    for (const auto& [key, value] : file.keys)
        if (!onRecorder.count(key)) c.keys.push_back({key, labelled(key), "-", value});
    for (std::size_t i : OnlyIn(rec.timer, file.timer)) {
        c.timerOnlyOnRecorder.push_back(rec.timer[i]);
        c.recorderLineDiffers[static_cast<std::size_t>(rec.timerLine[i])] = true;
    }
    for (std::size_t i : OnlyIn(file.timer, rec.timer)) c.timerOnlyInFile.push_back(file.timer[i]);
    c.timerOrderDiffers =
        c.timerOnlyOnRecorder.empty() && c.timerOnlyInFile.empty() && rec.timer != file.timer;
    return c;
}

}  // namespace ksr
