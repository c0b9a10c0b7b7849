#pragma once
// Two recorder.ini files side by side (the one a recorder runs and one of this computer): the
// keys whose values differ, named as the set-up names them where the builder sets the key, and
// the timer section (output windows, burst and tm lines) compared as lines.

#include <string>
#include <vector>

namespace ksr {

struct KeyDifference {
    std::string key;       // "channel_0_samplerate"; a repeated key as "mseed_filesize (2)"
    std::string label;     // the set-up's name for it ("Primary Rate Ch1"), empty when none
    std::string recorder;  // the value on the recorder, "-" when it lacks the key
    std::string file;      // the value in the file, "-" when it lacks the key
};

struct IniComparison {
    std::vector<KeyDifference> keys;
    std::vector<std::string> timerOnlyOnRecorder;  // timer-section lines the file lacks
    std::vector<std::string> timerOnlyInFile;
    bool timerOrderDiffers = false;  // the same timer lines in another order
    // Per line of the recorder's file (from 0): whether that line differs from the file.
    std::vector<bool> recorderLineDiffers;

    bool equal() const {
        return keys.empty() && timerOnlyOnRecorder.empty() && timerOnlyInFile.empty() &&
               !timerOrderDiffers;
    }
    // How many of the recorder's lines differ.
    int differingLines() const;
};

IniComparison CompareRecorderIni(const std::string& recorderBytes, const std::string& fileBytes);

// The set-up's readable name of a key the builder sets ("channel_0_samplerate" gives
// "Primary Rate Ch1"); empty for a key it passes on untouched.
std::string IniKeyLabel(const std::string& key);

}  // namespace ksr
