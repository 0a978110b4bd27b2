// The process's signals as events of the event loop: a handler only writes the
// signal's number into a pipe, and the loop reads it like any other input.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <initializer_list>
#include <memory>

namespace ctl {

class SignalEvents {
  public:
    // Catches the given signals from now on; each one reaches handler from the loop.
    SignalEvents(std::initializer_list<int> numbers, std::function<void(int number)> handler);
    bool active() const { return static_cast<bool>(m_notifier); }

  private:
    std::function<void(int)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace ctl
