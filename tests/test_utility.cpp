// Utility services: program directory, clocks, dates and locks.
#include "platform/utility.h"
#include "tests/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <atomic>
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
