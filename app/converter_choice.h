#pragma once

#include <memory>

#include "converter_driver.h"

/// The maker's library where one is found (beside the program, then on the system's library
/// path); else the built-in driver that speaks the converter's line protocol itself.
std::unique_ptr<ConverterDriver> chooseConverterDriver();
