// What `winsim` changes on the loaded machine, each through the machine's own calls and state
// functions. Each returns "" when done, else what went wrong.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct PrinterSpec {
  std::string name;
  std::string driver = "Lumascribe Server";
  std::string port = "LumascribeServer:";
  std::string comment;
  std::string location;
  std::string share;   // non-empty: the printer is shared under this name
  bool makeDefault = false;
  std::string subKey;  // the product's settings key name ("SubKey" in its printer data)
};

// Through AddPrinterW, as a program adds one.
std::string AddPrinter(const PrinterSpec& spec);
std::string RemovePrinter(const std::string& name);
// Another program keeps `path` open for `ms` of simulated time (negative: until restart);
// deleting it fails with `deleteError`.
std::string HoldPath(const std::string& path, int64_t ms, uint32_t deleteError);
// Changes who may do what with a file or folder, as icacls does: `owner` (a name or SID; empty
// keeps it), `protect` stops inheritance keeping a copy of what was inherited, `grants`
// ("Everyone:(OI)(CI)M") are added, and the entries of the accounts in `removals` go.
std::string SetAcl(const std::string& path, const std::string& owner, bool protect,
                   const std::vector<std::string>& grants, const std::vector<std::string>& removals);
// A product file of another build: a PE image whose version says 1.0.0.<build>, read-only
// (FILE_ATTRIBUTE_READONLY) when asked, as from a read-only medium.
std::string PutProductFile(const std::string& path, uint16_t build, bool readOnly);
// Queues the file's deletion at the next restart, as a program does (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT).
std::string DeleteAtRestart(const std::string& path);
// Sets the spooler service's state at once; a start is a new spooler process.
// Delays left out keep their value.
std::string SetSpooler(bool running, std::optional<int64_t> startDelayMs, std::optional<int64_t> stopDelayMs);
// The fresh machine with the product installed by the tool and two printers whose settings it
// kept over a reinstall: "Office" (the default) and the shared "Home".
std::string InstallProduct();

}  // namespace winsim
