#pragma once
// Where the program finds its installed template and sample set-ups, and the per-user working
// folder the desktop entry starts in.

#include <filesystem>

namespace ksr::ui {

// The folder holding the installed recorder.000 and examples/: beside the program
// (../share/ksr-setup), else the install prefix's, else the source tree's data folder.
std::filesystem::path InstalledDataDir();

// The per-user working folder (~/KSR).
std::filesystem::path UserFolder();

// Creates `folder` when missing and copies the installed recorder.000 and sample set-ups into it
// where they are missing (nothing is replaced). Throws IoError when the folder cannot be made.
void PrepareUserFolder(const std::filesystem::path& folder,
                       const std::filesystem::path& dataDir = InstalledDataDir());

}  // namespace ksr::ui
