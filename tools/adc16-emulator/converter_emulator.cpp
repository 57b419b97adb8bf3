#include "converter_emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {
// The manual's appendix with the real figures was not available: slower with every bit, about
// a second at 16 bits.
std::chrono::milliseconds defaultConversionTime(int bits) {
  static const std::map<int, int> kMilliseconds = {
      {12, 20}, {13, 60}, {14, 150}, {15, 400}, {16, 1000}};
  const auto found = kMilliseconds.find(bits);
  return std::chrono::milliseconds(found == kMilliseconds.end() ? 10 : found->second);
}
}  // namespace

ConverterEmulator::ConverterEmulator(std::string link) : link_(std::move(link)) {
  openDevice();
  thread_ = std::thread([this] { serve(); });
}

ConverterEmulator::~ConverterEmulator() {
  stopping_ = true;
  thread_.join();
  const std::lock_guard lock(mutex_);
  closeDevice();
}

void ConverterEmulator::openDevice() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no ptsname");
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  if (slave_ < 0 || ::tcgetattr(slave_, &raw) != 0) throw std::runtime_error("no slave");
  ::cfmakeraw(&raw);  // no echo, no line editing: bytes pass as they are
  ::tcsetattr(slave_, TCSANOW, &raw);
  ::unlink(link_.c_str());
  if (::symlink(name, link_.c_str()) != 0) throw std::runtime_error("no link " + link_);
}

void ConverterEmulator::closeDevice() {
  if (master_ < 0) return;
  ::unlink(link_.c_str());
  ::close(slave_);
  ::close(master_);
  master_ = slave_ = -1;
}

void ConverterEmulator::setValues(int channel, std::vector<int32_t> values) {
  const std::lock_guard lock(mutex_);
  values_[channel] = std::move(values);
  next_[channel] = 0;
}

void ConverterEmulator::setAnswer(Answer answer) {
  const std::lock_guard lock(mutex_);
  answer_ = answer;
}

void ConverterEmulator::setConversionTime(int bits, std::chrono::milliseconds time) {
  const std::lock_guard lock(mutex_);
  conversionTime_[bits] = time;
}

void ConverterEmulator::goAway() {
  const std::lock_guard lock(mutex_);
  closeDevice();
}

void ConverterEmulator::comeBack() {
  const std::lock_guard lock(mutex_);
  if (master_ < 0) openDevice();
}

std::vector<uint8_t> ConverterEmulator::controlBytes() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

void ConverterEmulator::serve() {
  while (!stopping_) {
    int master = -1;
    {
      const std::lock_guard lock(mutex_);
      master = master_;
    }
    if (master < 0) {
      ::usleep(5000);
      continue;
    }
    pollfd readable{master, POLLIN, 0};
    if (::poll(&readable, 1, 10) <= 0 || !(readable.revents & POLLIN)) continue;
    uint8_t control = 0;
    const std::lock_guard lock(mutex_);
    if (master_ != master || ::read(master, &control, 1) != 1) continue;
    answer(control);
  }
}

// Called with the mutex held: a script change waits until the answer is out.
void ConverterEmulator::answer(uint8_t control) {
  received_.push_back(control);
  if (answer_ == Answer::Silent) return;
  const int channel = (control >> 5) + 1;
  const int bits = ((control >> 1) & 0xF) + 1;
  const auto custom = conversionTime_.find(bits);
  const auto converting =
      custom == conversionTime_.end() ? defaultConversionTime(bits) : custom->second;
  const auto done = std::chrono::steady_clock::now() + converting;
  while (std::chrono::steady_clock::now() < done && !stopping_) ::usleep(1000);
  // A byte sent while the conversion was pending is lost.
  pollfd early{master_, POLLIN, 0};
  uint8_t lost[64];
  while (::poll(&early, 1, 0) > 0 && (early.revents & POLLIN) &&
         ::read(master_, lost, sizeof lost) > 0) {
    ++overruns_;
  }
  int32_t value = 0;
  std::vector<int32_t>& script = values_[channel];
  if (!script.empty()) value = script[next_[channel]++ % script.size()];
  const uint32_t magnitude = static_cast<uint32_t>(std::min(std::abs(value), 0xFFFF));
  uint8_t bytes[3] = {static_cast<uint8_t>(value < 0 ? '-' : '+'),
                      static_cast<uint8_t>(magnitude >> 8), static_cast<uint8_t>(magnitude)};
  if (answer_ == Answer::WrongSign) bytes[0] = '*';
  if (answer_ == Answer::Garbage) {
    const uint8_t noise[] = {0x3F, 0x00, 0xFF, 0x2B, 0x13};
    (void)::write(master_, noise, sizeof noise);
    return;
  }
  (void)::write(master_, bytes, sizeof bytes);
}
