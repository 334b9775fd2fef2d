#pragma once

#include <string>

// The program's modules: shared libraries built with it that hold the code
// pulling in large libraries, loaded at their first use rather than at start.
// A module `name` is the file "<name>.so", looked for beside the program, then
// in ../lib/orvex (as installed), then in the build folder (tests, benchmarks).
// Answers the address of its function `entry`, or nullptr with `error` set.
// A module, once loaded, stays.
void* ModuleEntry(const char* name, const char* entry, std::string& error);

// The table that module `name`'s function `entry` answers for `arguments`, or,
// when the program has that entry linked in (`linked`, a weak symbol that is
// null otherwise), the linked one's; nullptr with `error` set without either.
template <typename Table, typename... Arguments>
const Table* ModuleTable(const Table* (*linked)(Arguments...), const char* name, const char* entry,
    std::string& error, Arguments... arguments)
{
    if (linked)
        return linked(arguments...);
    using Entry = const Table* (*)(Arguments...);
    auto function = reinterpret_cast<Entry>(ModuleEntry(name, entry, error));
    return function ? function(arguments...) : nullptr;
}
