#pragma once
// Helpers shared by the tests: scratch working directories, byte-exact file access and the
// set-ups the tests build by hand.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr::test {

// A fresh empty directory, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// Names of the files in `dir` that end in ".tmp" (what an interrupted write may leave).
std::vector<std::string> TemporaryFiles(const std::filesystem::path& dir);

// A file of the test data folder, or of the shipped data folder.
std::filesystem::path TestData(const std::string& name);
std::filesystem::path ShippedData(const std::string& name);

// The record behind the documented example file "TEST": three channels at 100 sps, GPS 52 N
// 13 E, CalOut ON 1 Aug 2013 12:00 for 10 min STEP 10000 mV, window 1 PowerON 15 Aug 2013
// 06:30 for 2 days every 7 days; MaxPcCycle 204, CurrentYear 2013.
SetupRecord ExampleRecord();

// A record after SetDefaults with the given current year.
SetupRecord DefaultRecord(int currentYear = 0);

#ifndef _WIN32
// Runs `write` in a child process whose files may not grow beyond `limit` bytes, as on a full
// disk; returns 0 when the write raised IoError, 1 when it succeeded, 2 on anything else.
int WriteUnderSizeLimit(unsigned long long limit, const std::function<void()>& write);
#endif

}  // namespace ksr::test
