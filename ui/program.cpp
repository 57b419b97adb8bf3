#include "program.h"

#include "serial_converter_driver.h"
#include "user_settings.h"

namespace {
// The maker's library where one is found (beside the program, then on the system's library
// path); else the built-in driver that speaks the converter's line protocol itself.
std::unique_ptr<ConverterDriver> converterDriver() {
  auto library = std::make_unique<LibraryConverterDriver>();
  if (library->loaded()) return library;
  return std::make_unique<SerialConverterDriver>(&UserSettings::serialDevice);
}
}  // namespace

Program::Program()
    : store_(std::make_unique<RecordStore>()),
      ownDriver_(converterDriver()),
      ownPrompts_(std::make_unique<QtUserPrompts>()) {
  createWindows(*ownDriver_, *ownPrompts_);
  ownPrompts_->setParent(main_.get());
}

Program::Program(ConverterDriver& driver, UserPrompts& prompts)
    : store_(std::make_unique<RecordStore>()) {
  createWindows(driver, prompts);
}

void Program::createWindows(ConverterDriver& driver, UserPrompts& prompts) {
  main_ = std::make_unique<TForm1>(*store_, table_, driver, prompts);
  monitor_ = std::make_unique<TForm2>(*main_, prompts);
  monitor_->show();
  notes_ = std::make_unique<TForm3>();
  help_ = std::make_unique<TForm4>();
  monitor_->monitor().setNotesSink(notes_.get());
  main_->attachWindows(monitor_.get(), notes_.get(), help_.get());
}
