#pragma once
// Where the program finds its installed template and sample set-ups, and the per-user working
// folder the desktop entry starts in.

#include <filesystem>

namespace ksr::ui {

// The folder holding the installed recorder.000 and examples/: beside the program
// (../share/ksr-setup), else the install prefix's, else the source tree's data folder.
std::filesystem::path InstalledDataDir();

// The per-user working folder (~/KSR; the home folder from the user database when HOME is not
// set). Throws IoError when no home folder is known.
std::filesystem::path UserFolder();

// Creates `folder` when missing and copies the installed recorder.000 and sample set-ups into it
// where they are missing or empty (an empty copy is what a full disk left; nothing else is
// replaced). Each copy is a safe write: whole or absent. Throws IoError when the folder cannot be
// made or a copy cannot be written.
void PrepareUserFolder(const std::filesystem::path& folder,
                       const std::filesystem::path& dataDir = InstalledDataDir());

}  // namespace ksr::ui
