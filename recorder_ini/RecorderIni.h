#pragma once
// The recorder.ini builder: merges the setup record into the recorder's template recorder.000,
// key by key, and rebuilds the timer section at the template's "[timer]" line.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "setup/Array1.h"
#include "setup/SetupRecord.h"
#include "setup/ShortText.h"

namespace ksr {

inline constexpr int IniLineCapacity = 400;
inline constexpr std::size_t IniLineWidth = 70;
inline constexpr std::size_t TimerLineWidth = 50;
inline constexpr int IniKeyCount = 60;

inline constexpr const char* TemplateFileName = "recorder.000";
inline constexpr const char* RecorderIniFileName = "recorder.ini";

// Numbers of the keys with a role of their own.
inline constexpr int PlaceholderKeyX = 37;
inline constexpr int PcOffTimeOverrideKey = 49;
inline constexpr int TimerKey = 53;
inline constexpr int PlaceholderKeyY = 54;

// One row per key of the template the builder knows, in the builder's order: the key as it
// opens its line, the settings it comes from (their JSON names; the set-up's name, date and time
// by their labels) and how its value is written from the record and SHORTTMP.DAT's PC-cycle
// limit. The placeholders and "[timer]" have no value.
struct IniKey {
    std::string_view key;
    std::string_view from;
    std::string (*value)(const SetupRecord& record, int pcCycleLimit);
};
extern const Array1<IniKey, IniKeyCount> IniKeys;

// The set-up's readable name of what key `key` (1..60) carries ("Primary Rate Ch1"); empty for
// the placeholders and "[timer]".
std::string IniKeyLabel(int key);

// What a build gives: the bytes of recorder.ini and of the SHORTTMP.DAT it was built with.
struct RecorderIniFiles {
    std::string recorderIni;
    std::string shortTmp;
    int lines = 0;  // of recorder.ini
};

// The one build of both programs: the record merged into the template's bytes (`templateName`
// for errors) with the PC-cycle limit of SHORTTMP.DAT's bytes. Nothing is read or written: the
// caller chooses the folder, takes its lock and writes.
RecorderIniFiles BuildRecorderIniFiles(const SetupRecord& record,
                                       const std::string& templateBytes,
                                       const std::string& templateName,
                                       const std::string& shortTmpBytes);
// The same for a lowest temperature as SHORTTMP.DAT states it ("-10" ... "-30").
RecorderIniFiles BuildRecorderIniFilesFor(const SetupRecord& record,
                                          const std::string& templateBytes,
                                          const std::string& templateName,
                                          const std::string& lowestTemperatureText);

// The builder's line buffer and working state. One instance lives as long as the window; it is
// also the buffer that shows recorder.ini on the upload page.
class RecorderIni {
  public:
    explicit RecorderIni(std::filesystem::path directory = ".");

    Array1<ShortText<IniLineWidth>, IniLineCapacity> IniLines;
    std::uint16_t IniLineCount = 0;
    std::uint16_t TimerLineIndex = 0;
    int PcCycleLimit = 10;
    Array1<ShortText<TimerLineWidth>, OutputWindowCount> OutputLines;
    Array1<ShortText<TimerLineWidth>, RecWindowCapacity> WindowLines;

    // The window's build: SHORTTMP.DAT as the save wrote it and recorder.000 of the folder,
    // BuildRecorderIniFiles, and recorder.ini written, under the folder's lock; the first error
    // stops it and recorder.ini stays exactly as it was. The buffer then holds recorder.ini.
    void BuildRecorderIni(const SetupRecord& record);


    // The absolute value of the first whole number of SHORTTMP.DAT.
    void ReadPcCycleLimit();
    // The same from SHORTTMP.DAT's bytes (`name` for errors).
    static int ParsePcCycleLimit(const std::string& bytes, const std::string& name);
    // recorder.000 into IniLines (at most 400 lines, each cut to 70 characters); a template
    // that lacks a key the builder sets or the "[timer]" line is refused (CheckTemplate).
    void LoadIniTemplate();
    // Throws FormatError, naming `name` and what is missing, unless IniLines hold every key the
    // builder sets and a "[timer]" line: a recorder.ini built from less would lack settings.
    void CheckTemplate(const std::string& name) const;
    void MergeIniKeys(const SetupRecord& record);
    void BuildWindowLines(const SetupRecord& record);
    void BuildOutputLines(const SetupRecord& record);
    // Places the timer section from TimerLineIndex on: the lines of the output windows that are
    // ON, the burst lines, an empty line, "[timer]", the tm lines.
    void AppendTimerBlock(const SetupRecord& record);
    // Replaces recorder.ini with IniLines 1..IniLineCount, each followed by CR LF.
    void WriteRecorderIni() const;
    // recorder.ini into IniLines, for showing it.
    void LoadRecorderIni();

    // Lines from bytes as the loaders take them from a file (`name` for errors).
    void loadLinesFrom(const std::string& bytes, const std::string& name);

    // Empties all 400 lines (the count is left as it is).
    void ClearLines();
    // IniLines 1..IniLineCount.
    std::vector<std::string> lines() const;
    // The value key `key` (1..60) gets from the record.
    std::string KeyValue(int key, const SetupRecord& record) const;

    const std::filesystem::path& directory() const { return directory_; }

  private:
    void loadLines(const char* fileName);
    void timerSection(const SetupRecord& record, int lineIndex);

    std::filesystem::path directory_;
};

}  // namespace ksr
