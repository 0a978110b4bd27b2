// Utility services: program directory, clocks, dates, pauses and locks.
#include "runtime/utility.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace runtime {

namespace {

std::string projectDirOverride;

// A recursive lock: the owning thread may take it again and must release it as often.
struct LockState {
    std::thread::id owner;
    int depth = 0;
};

// The programs make one lock per combo box; more than this is a leak.
constexpr std::size_t kMaxLocks = 256;

std::mutex lockTableMutex;
std::condition_variable lockReleased;
std::map<int, LockState> lockTable;
int nextLockHandle = 1;

} // namespace

// The override, else the executable's directory, else the working directory.
int GetProjectDir(std::string &directory) {
    if (!projectDirOverride.empty()) {
        directory = projectDirOverride;
    } else if (QCoreApplication::instance()) {
        directory = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    } else {
        std::error_code ec;
        directory = std::filesystem::current_path(ec).string();
        if (ec) return -1;
    }
    return 0;
}

// Sets or (with "") clears the directory override.
void SetProjectDir(const std::string &directory) {
    projectDirOverride = directory;
}

std::string GetSettingsDir(const std::string &projDir, const std::string &programName) {
    const QString programDir = QString::fromStdString(projDir);
    if (QFileInfo(programDir).isWritable()) return projDir;
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Without a home of its own the program keeps the program folder, whose save failure it reports.
    if (configHome.isEmpty()) return projDir;
    const QString userDir =
        configHome + QStringLiteral("/sensor-scopes/") + QString::fromStdString(programName);
    if (!QDir().mkpath(userDir)) return projDir;
    const QDir source(programDir);
    for (const QString &name : source.entryList({QStringLiteral("*.cfg")}, QDir::Files | QDir::Readable)) {
        const QString target = userDir + QLatin1Char('/') + name;
        // The copy is the user's to change, whatever the mode of the one it came from.
        if (!QFileInfo::exists(target) && QFile::copy(source.filePath(name), target))
            QFile::setPermissions(target,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return QDir::toNativeSeparators(userDir).toStdString();
}

// Joins with the platform separator, never doubling one already there.
std::string SystemErrorText(int errnoValue) {
    // strerror follows the desktop's language ("Keine Berechtigung"); this does not.
    const char *text = strerrordesc_np(errnoValue);
    return text ? text : "system error " + std::to_string(errnoValue);
}

std::string JoinPath(const std::string &directory, const std::string &fileName) {
    constexpr char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (directory.empty()) return fileName;
    if (directory.back() == separator || directory.back() == '/') return directory + fileName;
    return directory + separator + fileName;
}

// Seconds since the first call, from a clock that never jumps.
double Timer() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Today, local time, "MM-DD-YYYY".
std::string DateStr() {
    return DateStr(WallClockMs());
}

// Now, local time, "HH:MM:SS".
std::string TimeStr() {
    return TimeStr(WallClockMs());
}

int64_t WallClockMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

std::string DateStr(int64_t wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("MM-dd-yyyy")).toStdString();
}

std::string TimeStr(int64_t wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("HH:mm:ss")).toStdString();
}

// The offset is the one in force at that moment, so rows across a DST change stay right.
std::string IsoDateTimeStr(int64_t wallMs) {
    // Made for every live sample: the C library's local time, formatted by hand.
    const std::time_t seconds = static_cast<std::time_t>(wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000);
    const int millis = static_cast<int>(wallMs - int64_t(seconds) * 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int offset = static_cast<int>(local.tm_gmtoff / 60);
    const int minutes = std::abs(offset) % (24 * 60);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis,
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

// Blocks the calling thread; events wait meanwhile.
void Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Makes a lock; name and options are not needed here.
int CmtNewLock(const std::string &, int, int *lockHandle) {
    if (!lockHandle) return -1;
    std::lock_guard guard(lockTableMutex);
    if (lockTable.size() >= kMaxLocks) return -1;
    // Handles are never handed out twice, so a stale handle stays invalid.
    if (nextLockHandle <= 0) return -1;
    *lockHandle = nextLockHandle++;
    lockTable.emplace(*lockHandle, LockState{});
    return 0;
}

// Waits until the lock is free or already ours; fails when it is discarded meanwhile.
int CmtGetLock(int lockHandle) {
    const auto self = std::this_thread::get_id();
    std::unique_lock guard(lockTableMutex);
    for (;;) {
        const auto it = lockTable.find(lockHandle);
        if (it == lockTable.end()) return -1;
        LockState &lock = it->second;
        if (lock.depth == 0 || lock.owner == self) {
            lock.owner = self;
            ++lock.depth;
            return 0;
        }
        lockReleased.wait(guard);
    }
}

// Releases one level of a lock held by this thread.
int CmtReleaseLock(int lockHandle) {
    std::lock_guard guard(lockTableMutex);
    const auto it = lockTable.find(lockHandle);
    if (it == lockTable.end()) return -1;
    LockState &lock = it->second;
    if (lock.depth == 0 || lock.owner != std::this_thread::get_id()) return -1;
    if (--lock.depth == 0) lockReleased.notify_all();
    return 0;
}

// Removes a lock. Discarding wakes any waiter, which then reports the handle as bad.
int CmtDiscardLock(int lockHandle) {
    std::lock_guard guard(lockTableMutex);
    if (lockTable.erase(lockHandle) == 0) return -1;
    lockReleased.notify_all();
    return 0;
}

} // namespace runtime
