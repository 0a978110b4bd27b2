// What the benchmarks of sensorctl share: simulated sensors in a sensorsim process
// of their own, named in a targets file, and the CPU time a process has taken.
#pragma once

#include <sys/resource.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace bench {

// Hundreds of sensors and their connections need more than the default 1,024
// descriptors, in the broker and the tools the bench starts too.
inline void RaiseDescriptorLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// count sensors in one sensorsim process (sensor k on port firstPort() + k), and
// the targets file that names them s0, s1, ...
class Plant {
  public:
    Plant(const QString &dir, int count, const QString &name) : m_targets(dir + "/" + name + ".txt") {
        m_sim.start(SENSORSIM_PATH, {"--tcp", "0", "--count", QString::number(count)});
        // The first line whole: a read can come before the rest of it.
        for (QDeadlineTimer until(20000); !m_sim.canReadLine() && !until.hasExpired();)
            m_sim.waitForReadyRead(static_cast<int>(until.remainingTime()));
        // "listening on 127.0.0.1:FIRST-LAST (N sensors)" or, for one, "listening on 127.0.0.1:PORT"
        const QString line = QString::fromUtf8(m_sim.readLine()).trimmed();
        m_firstPort = line.section(':', 1).section('-', 0, 0).section(' ', 0, 0).toInt();
        std::ofstream targets(m_targets.toStdString());
        for (int k = 0; k < count; ++k)
            targets << "tcp://127.0.0.1:" << m_firstPort + k << " s" << k << "\n";
    }
    ~Plant() {
        m_sim.terminate();
        m_sim.waitForFinished();
    }
    bool ok() const { return m_firstPort > 0; }
    const QString &targets() const { return m_targets; }
    int firstPort() const { return m_firstPort; }

  private:
    QProcess m_sim;
    QString m_targets;
    int m_firstPort = 0;
};

// The lines of a file that another process writes, read as the file grows: a pipe
// that nobody reads while a benchmark waits would stall the writer.
class GrowingFile {
  public:
    explicit GrowingFile(const QString &path) : m_path(path.toStdString()) {}
    ~GrowingFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    GrowingFile(const GrowingFile &) = delete;
    GrowingFile &operator=(const GrowingFile &) = delete;

    // Hands each whole line written since the last call to take.
    template <typename Take> void ReadLines(Take take) {
        if (m_fd < 0) m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC); // once the writer made it
        char buffer[65536];
        for (ssize_t n; m_fd >= 0 && (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            m_partial.append(buffer, std::size_t(n));
            std::size_t start = 0;
            for (std::size_t end; (end = m_partial.find('\n', start)) != std::string::npos; start = end + 1)
                take(m_partial.substr(start, end - start));
            m_partial.erase(0, start);
        }
    }

  private:
    std::string m_path;
    int m_fd = -1;
    std::string m_partial;
};

// VmRSS of a process, KiB.
inline long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// The CPU time (user and system) a running process has taken so far, in seconds.
inline double CpuOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

} // namespace bench
