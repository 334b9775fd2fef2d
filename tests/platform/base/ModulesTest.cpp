#include "Modules.h"

#include <zlib.h>

#include <gtest/gtest.h>

// The modules are built beside the program, each with its entry; other names are not there.
TEST(Modules, EntriesAreFoundInBuiltModulesAndMissingOnesAreTold)
{
    struct Case {
        const char* module;
        const char* entry;
        bool found;
        const char* error; // part of the error when not found
    };
    const Case cases[] = {
        {"orvex-movie", "OrvexMovieOpeners", true, ""},
        {"orvex-pdf", "OrvexPdfOpener", true, ""},
        {"orvex-raw", "OrvexRawDecoder", true, ""},
        {"orvex-multimedia", "OrvexMultimediaMakers", true, ""},
        {"orvex-keychain", "OrvexKeychainJobs", true, ""},
        {"orvex-instance", "OrvexInstanceChannel", true, ""},
        {"orvex-metadata", "OrvexImageMetadata", true, ""},
        {"orvex-print", "OrvexPrintJobs", true, ""},
        {"orvex-movie", "NoSuchEntry", false, "has no NoSuchEntry"},
        {"orvex-no-such-module", "OrvexMovieOpeners", false, "orvex-no-such-module.so is not installed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.entry);
        std::string error = "stale";
        void* entry = ModuleEntry(c.module, c.entry, error);
        EXPECT_EQ(entry != nullptr, c.found);
        if (c.found)
            EXPECT_TRUE(error.empty());
        else
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// A system library loaded at first use fills a table of its functions, typed as
// declared; a library or function that is not there is told, never called.
TEST(Modules, LibrariesLoadedAtFirstUseFillTheirTables)
{
    struct Zlib {
        decltype(&::zlibVersion) zlibVersion = nullptr;
        decltype(&::crc32) crc32 = nullptr;
    } table;
    std::string error = "stale";
    void* library = LoadLibraryOnce("libz.so.1", error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(ORVEX_LIBRARY_FUNCTION(table, library, , zlibVersion));
    ASSERT_TRUE(ORVEX_LIBRARY_FUNCTION(table, library, , crc32));
    EXPECT_EQ(LibraryFunction(library, "NoSuchFunction"), nullptr);
    EXPECT_STREQ(table.zlibVersion(), ::zlibVersion());
    const Bytef text[] = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(table.crc32(0, text, sizeof text - 1), 0x414FA339UL);
    // Asked again, the same library.
    EXPECT_EQ(LoadLibraryOnce("libz.so.1", error), library);

    EXPECT_EQ(LoadLibraryOnce("liborvex-no-such-library.so.9", error), nullptr);
    EXPECT_NE(error.find("liborvex-no-such-library.so.9"), std::string::npos) << error;
    EXPECT_EQ(LibraryFunction(nullptr, "zlibVersion"), nullptr);

    // A table whose library lacks one of its functions is not loaded, and says why.
    EXPECT_TRUE(LoadLibraryFunctions("libz.so.1", error, [&](void* z) { return ORVEX_LIBRARY_FUNCTION(table, z, , crc32); }));
    EXPECT_FALSE(LoadLibraryFunctions("libz.so.1", error, [&](void* z) { return LibraryFunction(z, "NoSuchFunction"); }));
    EXPECT_EQ(error, "libz.so.1 lacks a function used");
}
