#include "ctl/signals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ctl {
namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

SignalEvents::SignalEvents(std::initializer_list<int> numbers, std::function<void(int)> handler)
    : m_handler(std::move(handler)) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : numbers)
        sigaction(s, &action, nullptr);
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char got[16];
        ssize_t n;
        while ((n = ::read(signalPipe[0], got, sizeof got)) > 0)
            for (ssize_t i = 0; i < n; ++i)
                m_handler(got[i]);
    });
}

} // namespace ctl
