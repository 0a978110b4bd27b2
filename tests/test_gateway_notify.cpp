// What the gateway tells its supervisor: sd_notify messages read from a datagram
// socket of the test's own, the watchdog period from the environment systemd sets,
// and the journal's priority prefixes on stderr; and what its service unit allows.
#include "gateway/log.h"
#include "gateway/notify.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>

using namespace gateway;

namespace {

// A Unix datagram socket in a temporary folder, named in NOTIFY_SOCKET while it lives.
class Supervisor {
  public:
    Supervisor() {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const std::string path = m_dir.filePath("notify").toStdString();
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~Supervisor() {
        unsetenv("NOTIFY_SOCKET");
        close(m_fd);
    }
    Supervisor(const Supervisor &) = delete;
    Supervisor &operator=(const Supervisor &) = delete;

    // The next message; sd_notify has sent it before returning, so it is here or never.
    std::string Next() {
        char buffer[4096];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n < 0 ? "(none)" : std::string(buffer, std::size_t(n));
    }

  private:
    QTemporaryDir m_dir;
    int m_fd = -1;
};

// What the calls write to stderr, caught through a pipe.
template <typename Calls> std::string Stderr(Calls calls) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    const int saved = dup(STDERR_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    calls();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(pipeFds[1]);
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    return text;
}

} // namespace

TEST(GatewayNotify, SupervisorReadsEachStateWithItsStatus) {
    Supervisor supervisor;
    EXPECT_TRUE(NotifyReady("2 of 2 sensors online, broker connected"));
    EXPECT_EQ(supervisor.Next(), "READY=1\nSTATUS=2 of 2 sensors online, broker connected\n");
    EXPECT_TRUE(NotifyStatus("1 of 2 sensors online,\nbroker away"));
    EXPECT_EQ(supervisor.Next(), "STATUS=1 of 2 sensors online, broker away\n");
    EXPECT_TRUE(NotifyWatchdog());
    EXPECT_EQ(supervisor.Next(), "WATCHDOG=1\n");

    EXPECT_TRUE(NotifyReloading());
    const std::string reloading = supervisor.Next();
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    ASSERT_EQ(reloading.rfind("RELOADING=1\nMONOTONIC_USEC=", 0), 0u) << reloading;
    const long long usec = std::stoll(reloading.substr(reloading.find('=', 12) + 1));
    EXPECT_GT(usec, 0);
    EXPECT_LE(usec, static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);

    EXPECT_TRUE(NotifyStopping("stopping"));
    EXPECT_EQ(supervisor.Next(), "STOPPING=1\nSTATUS=stopping\n");
    EXPECT_EQ(supervisor.Next(), "(none)");
}

TEST(GatewayNotify, WithoutSupervisorNothingIsSent) {
    unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(NotifyReady());
    EXPECT_FALSE(NotifyWatchdog());
}

TEST(GatewayNotify, WatchdogPeriodIsHalfOfWhatSystemdGives) {
    unsetenv("WATCHDOG_USEC");
    unsetenv("WATCHDOG_PID");
    EXPECT_FALSE(WatchdogPeriod().has_value());

    setenv("WATCHDOG_USEC", "30000000", 1);
    setenv("WATCHDOG_PID", std::to_string(getpid()).c_str(), 1);
    EXPECT_EQ(WatchdogPeriod(), std::chrono::microseconds(15000000));
    // A watchdog meant for another process (a parent that exec'd us without clearing it) is not ours.
    setenv("WATCHDOG_PID", std::to_string(getpid() + 1).c_str(), 1);
    EXPECT_FALSE(WatchdogPeriod().has_value());
    unsetenv("WATCHDOG_USEC");
    unsetenv("WATCHDOG_PID");
}

TEST(GatewayLog, OneLinePerMessageWithTheJournalsPriority) {
    const std::string text = Stderr([] {
        LogError("broker refused the client: not authorised");
        LogWarning("sensor line1 offline:\nno answer");
        LogInfo("sensor line1 online");
    });
    EXPECT_EQ(text, "<3>broker refused the client: not authorised\n"
                    "<4>sensor line1 offline: no answer\n"
                    "<6>sensor line1 online\n");
}

// A sensor on any serial port of Debian's kernels may be reached under the unit's
// DevicePolicy=closed: each driver's name in /proc/devices is allowed, read and write,
// and nothing else is.
TEST(GatewayUnit, DeviceAllowCoversTheSerialDriversOfDebiansKernels) {
    const std::set<std::string> drivers = {
        "ttyS",   // 8250/16550 and compatible UARTs, PCI and PC cards
        "ttyUSB", // USB serial adapters
        "ttyACM", // USB CDC ACM devices
        "ttyAMA", // ARM PL011 (Raspberry Pi and many ARM boards)
        "ttySC",  // SC16IS7xx I2C/SPI bridges, Renesas SCI
        "ttymxc", // NXP i.MX
        "ttyLP",  // NXP LPUART
        "ttyAML", // Amlogic Meson
        "ttyMSM", // Qualcomm
        "ttySAC", // Samsung Exynos
        "ttyO",   // TI OMAP
        "ttyTHS", // NVIDIA Tegra high-speed UART
        "ttyPS",  // Xilinx Zynq
        "ttyMV",  // Marvell Armada 37xx
        "ttySTM", // ST STM32MP
        "ttySIF", // SiFive RISC-V
    };
    std::ifstream unit(GATEWAY_UNIT);
    ASSERT_TRUE(unit.good()) << GATEWAY_UNIT;
    std::set<std::string> allowed;
    bool closed = false;
    for (std::string line; std::getline(unit, line);) {
        EXPECT_FALSE(std::regex_search(line, std::regex("@[A-Z_]+@"))) << "left unconfigured: " << line;
        closed = closed || line == "DevicePolicy=closed";
        const std::string key = "DeviceAllow=char-";
        if (line.rfind(key, 0) != 0) {
            EXPECT_EQ(line.rfind("DeviceAllow=", 0), std::string::npos) << "only serial drivers: " << line;
            continue;
        }
        const std::string rest = line.substr(key.size());
        const std::size_t blank = rest.find(' ');
        EXPECT_EQ(rest.substr(blank == std::string::npos ? rest.size() : blank), " rw") << line;
        allowed.insert(rest.substr(0, blank));
    }
    EXPECT_TRUE(closed) << "DevicePolicy=closed";
    EXPECT_EQ(allowed, drivers);
}
