// Utility services: program directory, clocks, dates and locks.
#include "platform/utility.h"
#include "tests/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

bool Matches(const std::string &text, const char *pattern) {
    const QRegularExpression re(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern)));
    return re.match(QString::fromStdString(text)).hasMatch();
}

TEST(Utility, ProjectDirIsTheProgramDirectoryUnlessOverridden) {
    const std::string programDir =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    std::string directory;
    SetProjectDir("/tmp/somewhere");
    GetProjectDir(directory);
    EXPECT_EQ(directory, "/tmp/somewhere");
    SetProjectDir("");
    ASSERT_EQ(GetProjectDir(directory), 0);
    EXPECT_EQ(directory, programDir);
    const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_EQ(JoinPath("dir", "ComSettings.cfg"), "dir" + sep + "ComSettings.cfg");
    EXPECT_EQ(JoinPath("dir" + sep, "ComSettings.cfg"), "dir" + sep + "ComSettings.cfg");
}

TEST(Utility, DateAndTimeTextsHaveTheirFixedForms) {
    EXPECT_TRUE(Matches(DateStr(), R"((0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])-\d{4})")) << DateStr();
    EXPECT_TRUE(Matches(TimeStr(), R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)")) << TimeStr();
}

TEST(Utility, IsoTimeCarriesMillisecondsAndTheOffsetInForceThen) {
    const char *before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    const auto useZone = [](const char *zone) {
        setenv("TZ", zone, 1);
        tzset();
    };
    const int64_t winter = 1796655909123; // 2026-12-07 15:05:09.123 UTC
    const int64_t summer = 1782822309007; // 2026-06-30 12:25:09.007 UTC
    useZone("Europe/Berlin");
    EXPECT_EQ(IsoDateTimeStr(winter), "2026-12-07T16:05:09.123+01:00");
    EXPECT_EQ(IsoDateTimeStr(summer), "2026-06-30T14:25:09.007+02:00");
    EXPECT_EQ(DateStr(winter) + " " + TimeStr(winter), "12-07-2026 16:05:09");
    useZone("America/St_Johns");
    EXPECT_EQ(IsoDateTimeStr(winter), "2026-12-07T11:35:09.123-03:30");
    if (before)
        useZone(saved.c_str());
    else
        unsetenv("TZ");
    tzset();
}

TEST(Utility, TimerNeverGoesBackAndSleepBlocksAtLeastItsTime) {
    const double start = Timer();
    Sleep(20);
    EXPECT_GE(Timer() - start, 0.020);
}

TEST(Utility, LockIsRecursiveAndRejectsBadHandles) {
    int lock = -1;
    ASSERT_EQ(CmtNewLock("", 0, &lock), 0);
    EXPECT_EQ(CmtGetLock(lock), 0);
    EXPECT_EQ(CmtGetLock(lock), 0);
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    EXPECT_EQ(CmtReleaseLock(lock), -1); // not held any more
    EXPECT_EQ(CmtDiscardLock(lock), 0);
    EXPECT_EQ(CmtGetLock(lock), -1);
    EXPECT_EQ(CmtDiscardLock(lock), -1);
    EXPECT_EQ(CmtNewLock("", 0, nullptr), -1);
}

TEST(Utility, LockPassesToAnotherThreadOnlyAfterOwnerReleases) {
    int lock = -1;
    ASSERT_EQ(CmtNewLock("combo", 0, &lock), 0);
    ASSERT_EQ(CmtGetLock(lock), 0);
    std::atomic<int> strangerRelease{1}, got{1};
    std::thread other([&] {
        strangerRelease = CmtReleaseLock(lock);
        got = CmtGetLock(lock);
        CmtReleaseLock(lock);
    });
    EXPECT_TRUE(WaitFor([&] { return strangerRelease != 1; }));
    EXPECT_EQ(strangerRelease, -1); // only the owner may release
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    other.join();
    EXPECT_EQ(got, 0);
    EXPECT_EQ(CmtDiscardLock(lock), 0);
}

} // namespace
