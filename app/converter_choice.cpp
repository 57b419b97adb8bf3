#include "converter_choice.h"

#include "library_converter_driver.h"
#include "serial_converter_driver.h"
#include "user_settings.h"

std::unique_ptr<ConverterDriver> chooseConverterDriver() {
  auto library = std::make_unique<LibraryConverterDriver>();
  if (library->loaded()) return library;
  return std::make_unique<SerialConverterDriver>(&UserSettings::serialDevice);
}
