// The converter emulator on the command line, to try a serial run without a converter:
//   adc16-emulator [--link PATH] [--COMMAND ARGUMENT]...
// prints the device path, then takes commands on standard input, one a line. Each command that
// takes an argument may also be given as an option (--ch 1=1000, --delay 1150-1450).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "converter_emulator.h"

namespace {
using Milliseconds = std::chrono::milliseconds;

constexpr const char* kUsage =
    "usage: adc16-emulator [--link PATH] [--COMMAND ARGUMENT]...\n"
    "An ADC-16 converter on a pseudo-terminal (its device printed first, PATH a link to it).\n"
    "commands (standard input, one a line; those with an argument also as options):\n"
    "  ch N=COUNTS,...     the raw counts channel N answers from now on, not millivolts (1.638\n"
    "                      counts a millivolt at 12 bits: 1638 is 1000 mV; up to 65535)\n"
    "  silent | normal | garbage | wrong-sign   how it answers\n"
    "  delay MS[-MS]       every answer this long after its request (random in the range); 0: off\n"
    "  extra N[,MS[,C]]    one byte C (default +) after every N-th answer, MS later; 0: off\n"
    "  repeat N,MS[,MS]... every N-th answer sent again, whole, MS after it; 0: off\n"
    "  lost N              the last byte of every N-th answer lost on the line; 0: off\n"
    "  slow MS[,AFTER]     every conversion takes MS, from AFTER ms on (default now)\n"
    "  repoint             the link leads to a second converter; the first answers no more\n"
    "  noise MS            random '+' and '-' on the line, one every MS on average; 0: off\n"
    "  away [MS]           the device goes away (and comes back after MS)\n"
    "  back                the device comes back under the same name\n"
    "  quit\n";

int number(const std::string& text) {
  size_t used = 0;
  const int value = std::stoi(text, &used);
  if (used != text.size() || value < 0) throw std::invalid_argument(text);
  return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream list(text);
  for (std::string part; std::getline(list, part, separator);) parts.push_back(part);
  return parts;
}

// Carries out one command; false when it is not one.
bool command(ConverterEmulator& emulator, const std::string& name, const std::string& argument,
             std::vector<std::thread>& returns) {
  using Answer = ConverterEmulator::Answer;
  try {
    if (name == "ch") {
      const size_t equals = argument.find('=');
      if (equals == std::string::npos) return false;
      std::vector<int32_t> counts;
      for (const std::string& count : split(argument.substr(equals + 1), ',')) {
        counts.push_back(std::stoi(count));
      }
      emulator.setValues(number(argument.substr(0, equals)), counts);
    } else if (name == "delay") {
      const std::vector<std::string> range = split(argument, '-');
      if (range.empty() || range.size() > 2) return false;
      emulator.setAnswerDelay(Milliseconds(number(range.front())),
                              Milliseconds(number(range.back())));
    } else if (name == "extra") {
      const std::vector<std::string> parts = split(argument, ',');
      if (parts.empty() || parts.size() > 3 || (parts.size() == 3 && parts[2].size() != 1)) {
        return false;
      }
      emulator.setExtraByte(number(parts[0]),
                            parts.size() == 3 ? static_cast<uint8_t>(parts[2][0]) : '+',
                            Milliseconds(parts.size() >= 2 ? number(parts[1]) : 0));
    } else if (name == "repeat") {
      const std::vector<std::string> parts = split(argument, ',');
      if (parts.empty()) return false;
      std::vector<Milliseconds> delays;
      for (size_t i = 1; i < parts.size(); ++i) delays.emplace_back(number(parts[i]));
      emulator.setRepeat(number(parts[0]), delays);
    } else if (name == "slow") {
      const std::vector<std::string> parts = split(argument, ',');
      if (parts.empty() || parts.size() > 2) return false;
      emulator.setSlowAfter(Milliseconds(parts.size() == 2 ? number(parts[1]) : 0),
                            Milliseconds(number(parts[0])));
    } else if (argument.empty() && name == "repoint") {
      emulator.repoint();
    } else if (name == "lost") {
      emulator.setLostByte(number(argument));
    } else if (name == "noise") {
      emulator.setSignNoise(Milliseconds(number(argument)));
    } else if (name == "away") {
      emulator.goAway();
      if (!argument.empty()) {
        returns.emplace_back([&emulator, away = Milliseconds(number(argument))] {
          std::this_thread::sleep_for(away);
          emulator.comeBack();
        });
      }
    } else if (argument.empty() && name == "back") {
      emulator.comeBack();
    } else if (argument.empty() && (name == "silent" || name == "normal" || name == "garbage" ||
                                    name == "wrong-sign")) {
      emulator.setAnswer(name == "silent"       ? Answer::Silent
                         : name == "garbage"    ? Answer::Garbage
                         : name == "wrong-sign" ? Answer::WrongSign
                                                : Answer::Normal);
    } else {
      return false;
    }
  } catch (const std::logic_error&) {  // a number that is none
    return false;
  }
  return true;
}
}  // namespace

int main(int argc, char* argv[]) {
  std::string link = "/tmp/adc16-emulator-" + std::to_string(::getpid());
  std::vector<std::pair<std::string, std::string>> options;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option.rfind("--", 0) != 0 || i + 1 >= argc) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    if (option == "--link") {
      link = argv[i + 1];
    } else {
      options.emplace_back(option.substr(2), argv[i + 1]);
    }
  }
  ConverterEmulator emulator(link);
  std::vector<std::thread> returns;  // devices coming back after "away MS"
  for (const auto& [name, argument] : options) {
    if (!command(emulator, name, argument, returns)) {
      std::fputs(kUsage, stderr);
      for (std::thread& back : returns) back.join();
      return 2;
    }
  }
  std::printf("%s\n", emulator.device().c_str());
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "quit") break;
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (!command(emulator, name, argument, returns)) std::fputs(kUsage, stderr);
  }
  for (std::thread& back : returns) back.join();
  return 0;
}
