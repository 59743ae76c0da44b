#pragma once
// The plug-in's data folder: "<common application data>\Norvane\Kesti".
#include <string>

namespace kesti {

// Computes the data folder and creates it when missing. The empty text when the shell
// cannot name the common application data folder; nothing is created then.
std::string GetDataFolder();

// Creates a folder and its missing parents; true when the folder exists afterwards.
bool CreateDirectoryTree(const std::string& path);

} // namespace kesti
