// Test machines with the product's monitor, driver and printers in place.
#pragma once
#include <string>

#include "winsim/machine.h"

namespace test {

// The product monitor with its port, and the product driver for both environments.
void InstallProductSpoolerParts();
// Installs "Lumascribe Server" for `environment` through the spooler, its driver DLL of `build`
// (negative: a DLL without a version resource).
[[nodiscard]] bool InstallProductDriver(int build, const char16_t* environment = u"Windows x64");

// A local printer on the product port; `driver` is the product driver unless given. With a
// non-empty `subKey` it carries "SubKey" in its driver data.
winsim::Printer& AddProductPrinter(const std::string& name, const std::string& subKey = "",
                                   const std::string& driver = "Lumascribe Server");

// A printer data value stored as the ANSI calls store `text` (wide, with its terminator).
void SetPrinterString(winsim::Printer& printer, const std::string& key, const std::string& value,
                      const std::string& text);
// A printer data string as the ANSI calls give it back, without terminator; "" when missing.
std::string PrinterString(const std::string& printer, const std::string& key, const std::string& value);

// The current user's settings key of a product printer.
std::string SettingsKey(const std::string& subKey);

}  // namespace test
