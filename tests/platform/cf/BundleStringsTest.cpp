#include "BundleStrings.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(BundleStrings, TableIsCompiledInAndMissingKeysComeBackAsThemselves)
{
    EXPECT_EQ(BundleLocalizedString(QStringLiteral("600:999")), QStringLiteral("600:999"));
    EXPECT_FALSE(BundleHasLocalizedString(QStringLiteral("600:999")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/strings/Localizable.json")));
}
