#pragma once
// The recorder's console as the upload sees it: the login, the shell's commands for the
// recorder's Kermit, cksum and the reconfigure command, and what the recorder answers. One
// description for the session that talks to it, the simulator that plays it and the tests'
// scripted recorders.

namespace ksr::upload::console {

inline constexpr char Etx = 0x03;  // Ctrl-C: wakes the console, ends a shell command
inline constexpr const char* LoginPrompt = "login:";
inline constexpr const char* PasswordPrompt = "Password:";
inline constexpr const char* User = "root";
inline constexpr const char* Password = "kelp";
inline constexpr const char* Refusal = "Login incorrect";
inline constexpr const char* Logout = "logout";
// The recorder's software folder, where its Kermit receives into and sends from.
inline constexpr const char* Folder = "/usr/local/wexo";
inline constexpr const char* ChangeDirectory = "cd /usr/local/wexo";
inline constexpr const char* StartReceiver = "kermit -r";
// The recorder's Kermit sends its recorder.ini; the name is a constant, nothing from a file.
inline constexpr const char* SendRecorderIni = "kermit -s recorder.ini";
inline constexpr const char* Cksum = "cksum";
inline constexpr const char* Reconfigure = "/usr/local/wexo/reconfig";
// The recorder's Kermit, asked to send a file that is not there: "?File not found - NAME".
inline constexpr const char* FileNotFound = "File not found";
// The reconfigure command's answer names the data file the recorder now writes.
inline constexpr const char* NewDataFile = "New Data File";
// The shell's prompt ends with one of these and a blank.
inline constexpr const char* ShellPromptEnds = "#$";
// Every command goes with a carriage return, as a terminal's Enter sends it.
inline constexpr char Enter = '\r';

}  // namespace ksr::upload::console
