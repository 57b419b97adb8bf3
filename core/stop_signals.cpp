#include "stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <csignal>

namespace {
int g_pipe[2] = {-1, -1};
std::atomic<bool> g_stopping{false};
std::atomic<int> g_received{0};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onSignal(int signal) {
  if (g_stopping.load()) _exit(128 + signal);  // a second signal: now, whatever is unsaved
  g_stopping = true;
  g_received = signal;
  const unsigned char byte = static_cast<unsigned char>(signal);
  const ssize_t written = ::write(g_pipe[1], &byte, 1);
  static_cast<void>(written);
}
}  // namespace

StopSignals::StopSignals(std::function<void(int)> onStop, QObject* parent)
    : QObject(parent), onStop_(std::move(onStop)) {
  g_stopping = false;
  g_received = 0;
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    if (::read(g_pipe[0], &byte, 1) == 1) onStop_(byte);
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals() {
  for (const int signal : kSignals) std::signal(signal, SIG_DFL);
  notifier_.reset();
  for (int& end : g_pipe) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}

void StopSignals::setStopping() { g_stopping = true; }

int StopSignals::received() { return g_received.load(); }

const char* StopSignals::name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}
