#include "Modules.h"

#include <gtest/gtest.h>

// The movie module is built beside the program; other names are not there.
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
