#pragma once
// ksr-config: the core's operations from the command line, for scripts and for preparing many
// recorders at once. Exit codes: 0 success, 1 a bad or unreadable file, 2 bad usage.

#include <iosfwd>
#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr::cli {

enum ExitCode : int { Success = 0, BadFile = 1, BadUsage = 2 };

// The program's version, as --version prints it.
extern const char* const Version;

struct Options;
// The set-up of a file, the defaults for what it does not set. Throws KsrError.
SetupRecord ReadSetup(const std::string& file);
// recorder.ini's bytes as `build` would write them for the setup file (the template recorder.000
// of the working directory, --lowest-temp of `parsed`); notes go to `err`. Throws KsrError.
std::string RecorderIniOfSetup(const std::string& file, const Options& parsed, std::ostream& err);

// The set-up file of a command that takes exactly one. Throws UsageError.
std::string OneFile(const Options& parsed);
// The set-up name that a file name gives, and a note on `err` when it is not the file name
// without ".set".
std::string SetupNameNoted(const std::string& file, std::ostream& err);

// The commands, each in a file of its own name (read and compare share Read.cpp): its help
// text, and what it does with the arguments after its name. Output goes to `out`, messages to
// `err`; it returns the exit status and throws UsageError (a std::invalid_argument) for bad
// usage and KsrError for a file or a line.
using CommandArgs = std::vector<std::string>;
extern const char* const CheckHelp;
int Check(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const FormatHelp;
int Format(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const BuildHelp;
int Build(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const DiffHelp;
int Diff(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const SetHelp;
int Set(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const PowerHelp;
int Power(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const PortsHelp;
int Ports(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const UploadHelp;
int Upload(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const ReadHelp;
int Read(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const CompareHelp;
int Compare(const CommandArgs& args, std::ostream& out, std::ostream& err);
extern const char* const DeployHelp;
int Deploy(const CommandArgs& args, std::ostream& out, std::ostream& err);

// Runs one command line (without the program name). Normal output goes to `out`, messages to
// `err`; files are read and written relative to the working directory.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
