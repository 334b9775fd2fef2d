#pragma once

#include <string>

// The program's modules: shared libraries built with it that hold the code
// pulling in large libraries, loaded at their first use rather than at start.
// A module `name` is the file "<name>.so", looked for beside the program, then
// in ../lib/orvex (as installed), then in the build folder (tests, benchmarks).
// Answers the address of its function `entry`, or nullptr with `error` set.
// A module, once loaded, stays.
void* ModuleEntry(const char* name, const char* entry, std::string& error);
