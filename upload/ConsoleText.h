#pragma once
// Reading the recorder's console: the lines it printed, its prompts and its refusal, as the
// upload session looks for them.

#include <string>

#include "upload/RecorderConsole.h"

namespace ksr::upload::console {

// A command as it goes on the line: the text and Enter.
inline std::string Command(const char* command) {
    return std::string(command) + Enter;
}

// A file of the recorder's software folder by its full path.
inline std::string InFolder(const std::string& name) {
    return std::string(Folder) + "/" + name;
}

// The received text without the blanks and line ends at its end.
std::string TrimmedEnd(std::string text);
// The last line of what the recorder printed, for a message.
std::string LastLine(const std::string& text);
// The shell's prompt ends what came: the receiver has exited and the shell reads the line.
bool EndsWithShellPrompt(const std::string& text);
// A new login prompt stands on the open line; a banner's "Last login:" does not count, even
// while the rest of its line has not come.
bool EndsWithLoginPrompt(const std::string& text);
// The login program's refusal: "Login incorrect" on a whole line of its own; empty when none.
std::string RefusalLine(const std::string& text);
// A shell answered: its prompt stands on the open line.
bool ShellAnswered(const std::string& text);
// Appends `bytes` to `buffer`, keeping its last `kept` bytes.
void Keep(std::string& buffer, const std::string& bytes, std::size_t kept);

}  // namespace ksr::upload::console
