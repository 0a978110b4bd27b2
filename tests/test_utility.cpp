// Utility services: program directory, clocks, dates and locks.
#include "runtime/utility.h"
#include "tests/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace runtime;

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

// GetSettingsDir run as a user who cannot write the program folder, with configHome
// as XDG_CONFIG_HOME. Root writes wherever it likes, so as root the call runs in a
// child process that has become "nobody"; otherwise the folder loses its write bits.
std::string SettingsDirAsReader(const std::string &programDir, const std::string &configHome) {
    chmod(configHome.c_str(), 0777);
    if (geteuid() != 0) {
        chmod(programDir.c_str(), 0555);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const std::string dir = GetSettingsDir(programDir, "VexaV32");
        unsetenv("XDG_CONFIG_HOME");
        chmod(programDir.c_str(), 0755);
        return dir;
    }
    const passwd *nobody = getpwnam("nobody");
    int fds[2];
    if (!nobody || pipe(fds) != 0) return "no unprivileged user";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(1);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const std::string dir = GetSettingsDir(programDir, "VexaV32");
        _exit(write(fds[1], dir.data(), dir.size()) == static_cast<ssize_t>(dir.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string dir;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        dir.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return dir;
}

TEST(Utility, SettingsStayInAWritableProgramFolder) {
    QTemporaryDir programDir, configHome;
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    EXPECT_EQ(GetSettingsDir(programDir.path().toStdString(), "VexaV32"), programDir.path().toStdString());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(QDir(configHome.path()).isEmpty());
}

TEST(Utility, SettingsOfAReadOnlyProgramFolderGoToTheUsersFolderSeededOnce) {
    QTemporaryDir base, configHome;
    const std::string programDir = base.filePath("VexaV32").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(programDir)));
    chmod(base.path().toLocal8Bit().constData(), 0755);
    WriteFileBytes(programDir + "/ComSettings.cfg", "1\n1\nsite-gateway\n4001\n");
    WriteFileBytes(programDir + "/VexaV32.uir", "form");
    chmod((programDir + "/ComSettings.cfg").c_str(), 0444);

    const std::string userDir = configHome.filePath("sensor-scopes/VexaV32").toStdString();
    EXPECT_EQ(SettingsDirAsReader(programDir, configHome.path().toStdString()), userDir);
    EXPECT_EQ(ReadFileBytes(userDir + "/ComSettings.cfg"), "1\n1\nsite-gateway\n4001\n");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(userDir + "/VexaV32.uir")));
    struct stat st {};
    ASSERT_EQ(stat((userDir + "/ComSettings.cfg").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u) << "the user's copy must be the user's to change";

    // What the user has stored is never replaced by the program folder's copy.
    WriteFileBytes(userDir + "/ComSettings.cfg", "0\n3\n\n\n");
    EXPECT_EQ(SettingsDirAsReader(programDir, configHome.path().toStdString()), userDir);
    EXPECT_EQ(ReadFileBytes(userDir + "/ComSettings.cfg"), "0\n3\n\n\n");
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
