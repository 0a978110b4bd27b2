// Figures of sensorsim serving many sensors from one process and one service thread:
// memory and CPU with a thousand sensors idle and polled once a second, and CPU with
// 200 sensors polled as fast as they answer. The client is plain POSIX sockets with
// one data request in flight per sensor.
//   bench_sim_farm [SENSORS [FAST_SENSORS [SECONDS]]]   (default 1000 200 5)
#include "bench/benchtable.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Command 5, the data request: sync word, command, 32 zero bytes.
const std::uint8_t kDataRequest[bench::kFrameBytes] = {0x00, 0x55, 0x00, 0x05};

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// CPU time used so far and resident memory of a process.
struct Usage {
    double cpuSeconds = 0;
    double rssMegabytes = 0;
};

Usage usageOf(pid_t pid) {
    Usage u;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // Fields after the command name in parentheses; utime and stime are the 12th and 13th.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && rest >> field; ++i)
        if (i >= 12) ticks += std::stod(field);
    u.cpuSeconds = ticks / double(sysconf(_SC_CLK_TCK));
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) u.rssMegabytes = std::stod(line.substr(6)) / 1024;
    return u;
}

// sensorsim --count N on a free block of ports, stopped as a service manager would.
class Simulator {
  public:
    explicit Simulator(int count) {
        char pattern[] = "/tmp/bench_sim_farm_XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) throw std::runtime_error("cannot create a file for sensorsim's output");
        close(fd);
        m_outPath = pattern;
        // Its output goes to a file: the closing summary outgrows a pipe nobody reads.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outPath.c_str(), O_WRONLY | O_TRUNC, 0);
        const std::string n = std::to_string(count);
        const char *argv[] = {SENSORSIM_PATH, "--count", n.c_str(), "--tcp", "0", nullptr};
        const int err =
            posix_spawn(&m_pid, SENSORSIM_PATH, &actions, nullptr, const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (err != 0) throw std::runtime_error("cannot start " SENSORSIM_PATH);
        m_firstPort = waitForPorts();
    }
    ~Simulator() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        unlink(m_outPath.c_str());
    }
    pid_t pid() const { return m_pid; }
    int firstPort() const { return m_firstPort; }

  private:
    int waitForPorts() const {
        const std::regex listening("listening on 127\\.0\\.0\\.1:(\\d+)");
        const auto start = Clock::now();
        while (secondsSince(start) < 30) {
            std::ifstream out(m_outPath);
            std::string line;
            std::smatch m;
            if (std::getline(out, line) && std::regex_search(line, m, listening)) return std::stoi(m[1]);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        throw std::runtime_error("sensorsim did not say where it listens");
    }

    pid_t m_pid = -1;
    int m_firstPort = 0;
    std::string m_outPath;
};

// A client that holds one connection per sensor and counts whole answers.
class Client {
  public:
    Client(int firstPort, int count) : m_epoll(epoll_create1(EPOLL_CLOEXEC)) {
        for (int k = 0; k < count; ++k) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(firstPort + k));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
                throw std::runtime_error("cannot connect to port " + std::to_string(firstPort + k));
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            epoll_event e{EPOLLIN, {.u32 = std::uint32_t(m_links.size())}};
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &e);
            m_links.push_back({fd, 0});
        }
    }
    ~Client() {
        for (const Link &l : m_links)
            close(l.fd);
        close(m_epoll);
    }

    // Sends a data request to every sensor and waits for all answers; the answers counted.
    long round(double timeoutSeconds) {
        for (std::size_t k = 0; k < m_links.size(); ++k)
            request(k);
        return collect(timeoutSeconds, false);
    }
    // For `seconds`, each sensor gets its next request as soon as its answer is whole.
    long flatOut(double seconds) {
        for (std::size_t k = 0; k < m_links.size(); ++k)
            request(k);
        const long answers = collect(seconds, true);
        collect(1.0, false); // the last answers, so that the sockets end empty
        return answers;
    }

  private:
    struct Link {
        int fd;
        int pending; // answer bytes still to come
    };

    void request(std::size_t k) {
        if (send(m_links[k].fd, kDataRequest, sizeof kDataRequest, MSG_NOSIGNAL) !=
            ssize_t(sizeof kDataRequest))
            throw std::runtime_error("a sensor hung up");
        m_links[k].pending += bench::kFrameBytes;
    }
    long collect(double seconds, bool again) {
        long answers = 0;
        int waiting =
            int(std::count_if(m_links.begin(), m_links.end(), [](const Link &l) { return l.pending; }));
        const auto start = Clock::now();
        epoll_event events[256];
        while ((again || waiting > 0) && secondsSince(start) < seconds) {
            const int n = epoll_wait(m_epoll, events, 256, 10);
            for (int i = 0; i < n; ++i) {
                const std::size_t k = events[i].data.u32;
                std::uint8_t buf[4096];
                const ssize_t r = read(m_links[k].fd, buf, sizeof buf);
                if (r <= 0) throw std::runtime_error("a sensor hung up");
                const int before = m_links[k].pending;
                m_links[k].pending -= int(r);
                answers += before / bench::kFrameBytes - m_links[k].pending / bench::kFrameBytes;
                if (m_links[k].pending == 0 && again) request(k);
                if (m_links[k].pending == 0 && !again) --waiting;
            }
        }
        return answers;
    }

    int m_epoll;
    std::vector<Link> m_links;
};

// CPU share of one core that a process used between two usage samples.
double cpuPercent(const Usage &before, const Usage &after, double seconds) {
    return 100 * (after.cpuSeconds - before.cpuSeconds) / seconds;
}

void run(int sensors, int fast, double seconds) {
    const std::string many = std::to_string(sensors) + " sensors", few = std::to_string(fast) + " sensors";
    const std::string against = "sensorsim --count " + std::to_string(sensors);
    Simulator sim(sensors);

    Usage before = usageOf(sim.pid());
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    Usage after = usageOf(sim.pid());
    bench::Print({many + " idle: CPU", cpuPercent(before, after, secondsSince(start)), "% of a core", 2,
                  bench::Goal::AtMost, 1, against});
    bench::Print(
        {many + " idle: memory", after.rssMegabytes, "MB RSS", 1, bench::Goal::AtMost, 100, against});

    double slowestRound = 0;
    long answers = 0;
    {
        Client client(sim.firstPort(), sensors);
        before = usageOf(sim.pid());
        start = Clock::now();
        for (int r = 0; r < int(seconds); ++r) {
            const auto roundStart = Clock::now();
            answers += client.round(1.0);
            slowestRound = std::max(slowestRound, secondsSince(roundStart));
            std::this_thread::sleep_until(start + std::chrono::seconds(r + 1));
        }
        after = usageOf(sim.pid());
    }
    const std::string polled = many + " polled once a second";
    if (answers != long(sensors) * int(seconds))
        bench::PrintFailure(polled, std::to_string(answers) + " answers instead of " +
                                        std::to_string(long(sensors) * int(seconds)));
    bench::Print({polled + ": CPU", cpuPercent(before, after, secondsSince(start)), "% of a core", 2,
                  bench::Goal::AtMost, 5, against});
    bench::Print({polled + ": memory", after.rssMegabytes, "MB RSS", 1, bench::Goal::AtMost, 100, against});
    bench::Print({polled + ": slowest round of answers", slowestRound * 1000, "ms", 1, bench::Goal::AtMost,
                  250, "one request to each sensor at once"});

    Client client(sim.firstPort(), fast);
    before = usageOf(sim.pid());
    start = Clock::now();
    answers = client.flatOut(seconds);
    const double elapsed = secondsSince(start);
    after = usageOf(sim.pid());
    const std::string flat = few + " polled as fast as they answer";
    bench::Print({flat + ": answers", answers / elapsed, "per s", 0, bench::Goal::AtLeast, 10000,
                  "one request in flight per sensor, client on the same 2 cores"});
    bench::Print({flat + ": CPU", cpuPercent(before, after, elapsed), "% of a core", 1, bench::Goal::AtMost,
                  100, "one service thread"});
    bench::Print({flat + ": CPU per answer", 1e6 * (after.cpuSeconds - before.cpuSeconds) / double(answers),
                  "us", 1, bench::Goal::AtMost, 50, against});
}

} // namespace

int main(int argc, char **argv) {
    const int sensors = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int fast = argc > 2 ? std::atoi(argv[2]) : 200;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 5;
    if (sensors < 1 || fast < 1 || fast > sensors || seconds < 1) {
        std::fprintf(stderr, "usage: bench_sim_farm [SENSORS [FAST_SENSORS [SECONDS]]]\n");
        return 2;
    }
    // One connection per sensor: lift the soft limit of open files as sensorsim does.
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
    try {
        run(sensors, fast, seconds);
    } catch (const std::exception &e) {
        bench::PrintFailure("sensorsim with many sensors", e.what());
        return 1;
    }
    return 0;
}
