#include "BundleStrings.h"
#include "ErrorHook.h"
#include "ErrorReport.h"
#include "FourCharCode.h"
#include "LThread.h"
#include "Preferences.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <stdexcept>
#include <vector>

namespace {

// Collects what ReportError hands to the error manager.
class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetErrorNotificationPoster([this](const SErrorReport& report) { posted.push_back(report); });
    }
    void TearDown() override { SetErrorNotificationPoster({}); }

    std::vector<SErrorReport> posted;
};

// Every error code the program names, by name: the OSStatus constants of the
// sources and the message numbers, their values worked out as the compiler would.
QMap<QString, SInt32> NamedErrorCodes()
{
    const QRegularExpression declared(QStringLiteral(
        R"(constexpr\s+(?:OSStatus|OSErr|SInt32)\s+(\w+)\s*=\s*([^;]+);|\b(kMsg\w+)\s*=\s*(\d+)\s*,)"));
    QMap<QString, QString> expressions;
    QDirIterator it(QStringLiteral(ORVEX_SOURCE_DIR "/src"), { "*.h", "*.cpp" }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        for (const auto& match : declared.globalMatch(QString::fromUtf8(file.readAll()))) {
            const QString name = match.captured(1).isEmpty() ? match.captured(3) : match.captured(1);
            const QString value = (match.captured(1).isEmpty() ? match.captured(4) : match.captured(2)).trimmed();
            // SInt32 names counts and keys too: only error numbers and messages count.
            if (match.captured(0).contains(QLatin1String("SInt32")) && !name.startsWith(QLatin1String("kMsg"))
                && !name.endsWith(QLatin1String("Err")))
                continue;
            expressions.insert(name, value);
        }
    }
    QMap<QString, SInt32> codes;
    const QRegularExpression cast(QStringLiteral(R"(^static_cast<\w+>\((.*)\)$)"));
    for (bool progress = true; progress;) {
        progress = false;
        for (auto [name, expression] : expressions.asKeyValueRange()) {
            if (codes.contains(name))
                continue;
            if (const auto castMatch = cast.match(expression); castMatch.hasMatch())
                expression = castMatch.captured(1);
            bool isNumber = false;
            const qint64 number = expression.toLongLong(&isNumber, 0);
            if (isNumber)
                codes.insert(name, SInt32(number));
            else if (expression.size() == 6 && expression.startsWith(QLatin1Char('\'')))
                codes.insert(name, SInt32(MakeFourCharCode(expression.mid(1, 4).toStdString())));
            else if (codes.contains(expression))
                codes.insert(name, codes.value(expression));
            else
                continue;
            progress = true;
        }
    }
    for (const QString& name : expressions.keys())
        EXPECT_TRUE(codes.contains(name)) << "value not worked out: " << name.toStdString();
    return codes;
}


} // namespace

TEST(ErrorTexts, MessageNumbersUseList500)
{
    for (SInt32 n = 1; n <= 71; ++n) {
        QString key = QStringLiteral("500:%1").arg(n);
        EXPECT_TRUE(BundleHasLocalizedString(key)) << key.toStdString();
        EXPECT_EQ(GetErrorText(100000 + n), BundleLocalizedString(key)) << n;
    }
    for (SInt16 entry = 1; entry <= 33; ++entry)
        EXPECT_TRUE(BundleHasLocalizedString(QStringLiteral("700:%1").arg(entry))) << entry;
    EXPECT_TRUE(IsMessageNumber(100033));
    EXPECT_FALSE(IsMessageNumber(100000));
    EXPECT_FALSE(IsMessageNumber(err_NilPointer));
    EXPECT_FALSE(IsMessageNumber(err_AssertFailed));
    EXPECT_FALSE(IsMessageNumber(kNetworkEndpointErr));
}

TEST(ErrorTexts, SystemCodesMapToList700Entries)
{
    const std::pair<SInt32, SInt16> table[] = {{-43, 6}, {-35, 6}, {-120, 6}, {-108, 2}, {-41, 2},
        {-61, 5}, {-54, 5}, {-44, 5}, {-45, 5}, {-46, 5}, {-48, 8}, {-49, 3}, {-39, 15}, {-34, 16}, {-40, 28},
        {-192, 21}, {-2003, 4}, {-8969, 4}, {-3205, 18}, {-3162, 19}, {-2048, 29}, {-3180, 17}, {-5000, 33},
        {-3221, 22}, {-42, 39}, {28020, 11}, {28021, 12}, {28022, 13}, {28023, 14}, {302, 31}, {404, 30}, {550, 30},
        {err_AssertFailed, 10}, {err_NilPointer, 32}, {kNetworkEndpointErr, 20}, {-128, 1}, {12345, 1}};
    for (auto [code, entry] : table)
        EXPECT_EQ(GetOSErrorIndex(code), entry) << code;

    // Only the generic entry carries the code; everything is cut to 255 characters.
    EXPECT_EQ(FormatOSErrorText(QStringLiteral("Unknown error"), 1, -42), QStringLiteral("Unknown error (-42)"));
    EXPECT_EQ(FormatOSErrorText(QStringLiteral("File not found"), 6, -43), QStringLiteral("File not found"));
    QString cut = FormatOSErrorText(QString(250, QLatin1Char('x')), 1, -123456);
    EXPECT_EQ(cut.size(), 255);
    EXPECT_EQ(cut, QString(250, QLatin1Char('x')) + QStringLiteral(" (-12"));

    Str255 text;
    EXPECT_EQ(GetOSErrorMessage(text, 12345), 1);
    EXPECT_TRUE(PStringToQString(text).endsWith(QStringLiteral("(12345)")));
    EXPECT_EQ(PStringToQString(text), BundleLocalizedString(QStringLiteral("700:1")) + QStringLiteral(" (12345)"));
    EXPECT_EQ(GetOSErrorMessage(text, err_NilPointer), 32);
    EXPECT_EQ(PStringToQString(text), BundleLocalizedString(QStringLiteral("700:32")));
}

// Every code a user can meet reads as words of its own: never the fallback that
// only shows the number, never the number itself.
TEST(ErrorTexts, EveryCodeTheProgramNamesHasItsOwnWords)
{
    QMap<QString, SInt32> codes = NamedErrorCodes();
    ASSERT_GT(codes.size(), 80);
    for (SInt32 n = 1; n <= 71; ++n)
        codes.insert(QStringLiteral("message %1").arg(n), kMessageNumberBase + n);
    const QString fallbacks[] = { BundleLocalizedString(QStringLiteral("700:1")),
        BundleLocalizedString(QStringLiteral("600:17")) };
    for (auto [name, code] : codes.asKeyValueRange()) {
        // Nothing is said for these: no error, or the user's own cancel.
        if (code == noErr || IsUserCancelCode(code))
            continue;
        const std::string what = name.toStdString() + " " + std::to_string(code);
        if (IsMessageNumber(code))
            EXPECT_TRUE(BundleHasLocalizedString(QStringLiteral("500:%1").arg(code - kMessageNumberBase))) << what;
        else
            EXPECT_NE(GetOSErrorIndex(code), 1) << what;
        const QString text = GetErrorText(code);
        EXPECT_FALSE(text.trimmed().isEmpty()) << what;
        for (const QString& fallback : fallbacks)
            EXPECT_FALSE(text.startsWith(fallback)) << what << ": " << text.toStdString();
        EXPECT_FALSE(text.contains(QString::number(code))) << what << ": " << text.toStdString();
    }
}

TEST_F(ErrorReportTest, CancelsAreNeverReported)
{
    Str255 scratch;
    ReportError(scratch, 100006, kStopAlert);
    ReportError(scratch, -128, kStopAlert);
    EXPECT_TRUE(posted.empty());
}

TEST_F(ErrorReportTest, PostsListIndexTypeAndNotification)
{
    SetPrefBoolean(QStringLiteral("ShowNotificationDialog"), false);
    Str255 scratch;
    ReportError(scratch, 100068, kStopAlert);
    ReportError(scratch, err_NilPointer, kCautionAlert);
    ReportError(scratch, 100033, kNoteAlert);
    SetPrefBoolean(QStringLiteral("ShowNotificationDialog"), true);
    ReportError(scratch, -43, kNoAlert);
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[0], (SErrorReport {500, 68, 0, 128, 1, 3, true, {}}));
    EXPECT_EQ(posted[1], (SErrorReport {700, 32, 2, 128, 1, 3, true, {}}));
    EXPECT_EQ(posted[2], (SErrorReport {500, 33, 1, 128, 1, 3, true, {}}));
    EXPECT_EQ(posted[3], (SErrorReport {700, 6, 3, 128, 1, 7, true, {}}));
    EXPECT_EQ(PStringToQString(scratch), BundleLocalizedString(QStringLiteral("700:6")));
    EXPECT_EQ(GetErrorNotificationFlags(), 7);
}

TEST_F(ErrorReportTest, LowerLayersReportThroughTheHook)
{
    InstallErrorReportHook();
    ReportErrorThroughHook(-49);
    ReportErrorThroughHook(100006);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].listID, 700);
    EXPECT_EQ(posted[0].messageIndex, 3);
    SetErrorReportHook({});
}

TEST_F(ErrorReportTest, ATaskStepsReasonReachesTheLogAndTheReport)
{
    InstallErrorReportHook();
    StLogCapture log("orvex.errors");
    auto* step = new LFunctionThread([] { ThrowOSErr_(-39, "index.db record 12: tag 12 count 140, expected 102"); });
    step->Resume();
    auto* foreign = new LFunctionThread([] { throw std::length_error("vector too long"); });
    foreign->Resume();
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
    SetErrorReportHook({});

    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].listID, 700);
    EXPECT_EQ(posted[0].messageIndex, 15);
    EXPECT_EQ(posted[0].reason, QStringLiteral("index.db record 12: tag 12 count 140, expected 102"));
    EXPECT_EQ(posted[1].reason, QStringLiteral("std::length_error: vector too long"));
    EXPECT_TRUE(log.All().contains(QStringLiteral("-39"))) << log.All().toStdString();
    EXPECT_TRUE(log.All().contains(QStringLiteral("index.db record 12: tag 12 count 140, expected 102")));
    EXPECT_TRUE(log.All().contains(QStringLiteral("-50")));
    EXPECT_TRUE(log.All().contains(QStringLiteral("vector too long")));
}

TEST_F(ErrorReportTest, ReportsDifferingOnlyInReasonShowOneAlert)
{
    SErrorReport first {700, 6, 0, 128, 1, 3, true, QStringLiteral("a.jpg")};
    SErrorReport second = first;
    second.reason = QStringLiteral("b.jpg");
    EXPECT_TRUE(first.ShowsSameAs(second));
    EXPECT_FALSE(first == second);
    second.messageIndex = 5;
    EXPECT_FALSE(first.ShowsSameAs(second));
}
