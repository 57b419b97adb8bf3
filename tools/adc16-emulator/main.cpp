// The converter emulator on the command line, to try a serial run without a converter:
//   adc16-emulator [--link PATH] [--ch N=COUNTS,COUNTS,...]...
// prints the device path, then takes commands on standard input, one a line:
//   ch N=COUNTS,...   the counts channel N answers from now on
//   silent | normal | garbage | wrong-sign   how it answers
//   away | back       the device goes away, and comes back under the same name
//   quit
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "converter_emulator.h"

namespace {
bool setChannel(ConverterEmulator& emulator, const std::string& assignment) {
  const size_t equals = assignment.find('=');
  if (equals == std::string::npos) return false;
  std::vector<int32_t> counts;
  std::stringstream list(assignment.substr(equals + 1));
  for (std::string count; std::getline(list, count, ',');) counts.push_back(std::stoi(count));
  emulator.setValues(std::stoi(assignment.substr(0, equals)), counts);
  return true;
}
}  // namespace

int main(int argc, char* argv[]) {
  std::string link = "/tmp/adc16-emulator-" + std::to_string(::getpid());
  std::vector<std::string> channels;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--link") {
      link = argv[i + 1];
    } else if (option == "--ch") {
      channels.emplace_back(argv[i + 1]);
    } else {
      std::fprintf(stderr, "usage: adc16-emulator [--link PATH] [--ch N=COUNTS,...]...\n");
      return 2;
    }
  }
  ConverterEmulator emulator(link);
  for (const std::string& channel : channels) {
    if (!setChannel(emulator, channel)) return 2;
  }
  std::printf("%s\n", emulator.device().c_str());
  std::fflush(stdout);
  for (std::string command; std::getline(std::cin, command);) {
    if (command == "quit") break;
    if (command == "silent") emulator.setAnswer(ConverterEmulator::Answer::Silent);
    if (command == "normal") emulator.setAnswer(ConverterEmulator::Answer::Normal);
    if (command == "garbage") emulator.setAnswer(ConverterEmulator::Answer::Garbage);
    if (command == "wrong-sign") emulator.setAnswer(ConverterEmulator::Answer::WrongSign);
    if (command == "away") emulator.goAway();
    if (command == "back") emulator.comeBack();
    if (command.rfind("ch ", 0) == 0 && !setChannel(emulator, command.substr(3))) {
      std::fprintf(stderr, "ch N=COUNTS,...\n");
    }
  }
  return 0;
}
