// The loaded machine as a person reads it: one item per service, monitor, driver, printer, Run
// value, program, pending file operation, product file, hold and fault. `winsim show` lists the
// items, `winsim diff` compares two machines' items.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace winsim {

struct MachineItem {
  std::string kind;     // "monitor"
  std::string name;     // unique within its kind: "LumascribeServer:"
  std::string summary;  // "(lmsmon64.dll) ports LumascribeServer:"
  // What diff compares, by name: {"ports", "LumascribeServer:"}.
  std::vector<std::pair<std::string, std::string>> facts;
};

// The items of the loaded machine, grouped by kind in a fixed order.
std::vector<MachineItem> DescribeMachine();

// "+ monitor X: ...", "- printer Y: ...", "~ printer Z: comment 'a' → 'b'": what changed from
// `before` to `after`, one line each.
std::vector<std::string> DiffItems(const std::vector<MachineItem>& before, const std::vector<MachineItem>& after);

// "kind name: summary" ("name summary" when the name ends with a colon).
std::string ItemLine(const MachineItem& item);

}  // namespace winsim
