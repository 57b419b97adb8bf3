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

// One byte onto the line; a full or closed line loses it, as a real line would.
void send(int fd, uint8_t byte) {
  const ssize_t written = ::write(fd, &byte, 1);
  static_cast<void>(written);
}

// How often the serving thread looks at the line and the clock.
constexpr std::chrono::milliseconds kTick{1};
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
  for (const int fd : abandoned_) ::close(fd);
  abandoned_.clear();
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

void ConverterEmulator::setConversionTime(int bits, Milliseconds time) {
  const std::lock_guard lock(mutex_);
  conversionTime_[bits] = time;
}

void ConverterEmulator::setAnswerDelay(Milliseconds shortest, Milliseconds longest) {
  const std::lock_guard lock(mutex_);
  delayShortest_ = shortest;
  delayLongest_ = std::max(shortest, longest);
}

void ConverterEmulator::setExtraByte(int nth, uint8_t byte, Milliseconds later) {
  const std::lock_guard lock(mutex_);
  extraNth_ = std::max(nth, 0);
  extraByte_ = byte;
  extraLater_ = later;
}

void ConverterEmulator::setRepeat(int nth, std::vector<Milliseconds> delays) {
  const std::lock_guard lock(mutex_);
  repeatNth_ = std::max(nth, 0);
  repeatDelays_ = std::move(delays);
}

void ConverterEmulator::setSlowAfter(Milliseconds after, Milliseconds time) {
  const std::lock_guard lock(mutex_);
  slowFrom_ = time.count() > 0 ? Clock::now() + after : Clock::time_point::max();
  slowTime_ = time;
}

void ConverterEmulator::setSignNoise(Milliseconds meanGap) {
  const std::lock_guard lock(mutex_);
  noiseGap_ = meanGap;
  for (auto stray = strays_.begin(); stray != strays_.end();) {
    stray = stray->second == '+' || stray->second == '-' ? strays_.erase(stray) : ++stray;
  }
  if (noiseGap_.count() > 0) scheduleNoise(Clock::now());
}

void ConverterEmulator::scheduleNoise(Clock::time_point after) {
  std::uniform_int_distribution<int> gap(0, static_cast<int>(2 * noiseGap_.count()));
  strays_.emplace(after + Milliseconds(gap(random_)), random_() % 2 ? '+' : '-');
}

void ConverterEmulator::goAway() {
  const std::lock_guard lock(mutex_);
  closeDevice();
}

void ConverterEmulator::repoint() {
  const std::lock_guard lock(mutex_);
  if (master_ < 0) return;
  abandoned_.push_back(master_);
  abandoned_.push_back(slave_);
  master_ = slave_ = -1;
  openDevice();
}

void ConverterEmulator::comeBack() {
  const std::lock_guard lock(mutex_);
  if (master_ < 0) openDevice();
}

std::vector<uint8_t> ConverterEmulator::controlBytes() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

ConverterEmulator::Clock::time_point ConverterEmulator::nextStrayDue() const {
  return strays_.empty() ? Clock::time_point::max() : strays_.begin()->first;
}

void ConverterEmulator::writeDueStrays() {
  const Clock::time_point now = Clock::now();
  while (!strays_.empty() && strays_.begin()->first <= now) {
    const uint8_t byte = strays_.begin()->second;
    strays_.erase(strays_.begin());
    if (master_ >= 0) send(master_, byte);
    if (noiseGap_.count() > 0 && (byte == '+' || byte == '-')) scheduleNoise(now);
  }
}

void ConverterEmulator::serve() {
  while (!stopping_) {
    int master = -1;
    {
      const std::lock_guard lock(mutex_);
      writeDueStrays();
      master = master_;
    }
    if (master < 0) {
      ::usleep(5000);
      continue;
    }
    pollfd readable{master, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(kTick.count())) <= 0 ||
        !(readable.revents & POLLIN)) {
      continue;
    }
    uint8_t control = 0;
    const std::lock_guard lock(mutex_);
    if (master_ != master || ::read(master, &control, 1) != 1) continue;
    answer(control);
  }
}

// Called with the mutex held: a script change waits until the answer is out.
void ConverterEmulator::answer(uint8_t control) {
  received_.push_back(control);
  ++requests_;
  if (answer_ == Answer::Silent || Clock::now() < poweredUp_) return;
  const int channel = (control >> 5) + 1;
  const int bits = ((control >> 1) & 0xF) + 1;
  const auto custom = conversionTime_.find(bits);
  Milliseconds converting =
      custom == conversionTime_.end() ? defaultConversionTime(bits) : custom->second;
  if (delayLongest_.count() > 0) {
    std::uniform_int_distribution<int> delay(static_cast<int>(delayShortest_.count()),
                                             static_cast<int>(delayLongest_.count()));
    converting = Milliseconds(delay(random_));
  }
  if (Clock::now() >= slowFrom_) converting = slowTime_;
  const auto done = Clock::now() + converting;
  while (Clock::now() < done && !stopping_) {
    writeDueStrays();  // line noise goes on while the converter converts
    ::usleep(static_cast<useconds_t>(std::chrono::microseconds(kTick).count()));
  }
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
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(value < 0 ? '-' : '+'),
                                static_cast<uint8_t>(magnitude >> 8),
                                static_cast<uint8_t>(magnitude)};
  if (answer_ == Answer::WrongSign) bytes[0] = '*';
  if (answer_ == Answer::Garbage) bytes = {0x3F, 0x00, 0xFF, 0x2B, 0x13};
  if (brokenAnswers_ > 0) {
    --brokenAnswers_;
    bytes = {0x00, 0x00, 0x00};
  }
  ++answered_;
  if (lostNth_ > 0 && answered_ % lostNth_ == 0) bytes.pop_back();
  if (repeatNth_ > 0 && answered_ % repeatNth_ == 0) {
    for (const Milliseconds delay : repeatDelays_) {
      for (size_t i = 0; i < bytes.size(); ++i) {
        strays_.emplace(Clock::now() + delay + Milliseconds(i), bytes[i]);
      }
    }
  }
  if (extraNth_ > 0 && answered_ % extraNth_ == 0) {
    if (extraLater_.count() == 0) {
      bytes.push_back(extraByte_);
    } else {
      strays_.emplace(Clock::now() + extraLater_, extraByte_);
    }
  }
  // Byte by byte at the line's pace (9600 baud: about a millisecond a byte), as a real line
  // delivers them.
  for (const uint8_t byte : bytes) {
    send(master_, byte);
    ::usleep(1000);
  }
}
