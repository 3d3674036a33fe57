#pragma once

// The few facts about the host that the window asks the operating system for.

#include <string>

namespace aurex {

// Full path of the running executable; empty when the system does not say.
std::string RunningProgramPath();

// True when this user may create files in the folder.
bool FolderIsWritable(const std::string& folder);

// Logical processors (hyperthreads count); at least 1.
unsigned HostProcessorCount();

} // namespace aurex
