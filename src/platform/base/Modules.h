#pragma once

#include <string>

// The program's modules: shared libraries built with it that hold the code
// pulling in large libraries, loaded at their first use rather than at start.
// A module `name` is the file "<name>.so", looked for beside the program, then
// in ../lib/orvex (as installed), then in the build folder (tests, benchmarks).
// Answers the address of its function `entry`, or nullptr with `error` set.
// A module, once loaded, stays.
void* ModuleEntry(const char* name, const char* entry, std::string& error);

// A system library that only some commands use, loaded at their first use rather
// than with the program (`soname` as "libcurl.so.4"). Answers its handle, or nullptr
// with `error` set. A library, once loaded, stays.
void* LoadLibraryOnce(const char* soname, std::string& error);

// The address of function `name` in a library that LoadLibraryOnce answered;
// nullptr when it has none (or there is no library).
void* LibraryFunction(void* library, const char* name);

// Loads `soname` once (LoadLibraryOnce) and fills a table of its functions with
// `fill(library)`, which answers whether every function was found. False with
// `error` set when the library or one of its functions is missing.
template <typename Fill>
bool LoadLibraryFunctions(const char* soname, std::string& error, Fill&& fill)
{
    void* library = LoadLibraryOnce(soname, error);
    if (!library)
        return false;
    if (fill(library))
        return true;
    error = std::string(soname) + " lacks a function used";
    return false;
}

// Fills a table of a library's functions: each member named as the library's
// function after `prefix`, typed as it (`decltype(&prefix##name)`). False when a
// function is missing.
#define ORVEX_LIBRARY_FUNCTION(table, library, prefix, name) \
    ((table).name = reinterpret_cast<decltype(&prefix##name)>(LibraryFunction(library, #prefix #name)))

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
