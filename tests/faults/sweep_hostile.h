// Hostile machines: a base machine changed as a user without rights could change it, a command,
// and what must not happen.
#pragma once
#include <string>
#include <vector>

struct HostileCase {
  const char* name;
  void (*base)(const std::string& root);  // a builder of sweep_machines.h
  void (*edit)();                         // changes winsim::M() after the base is built
  const char* word;
  std::string (*harm)();  // "" when nothing forbidden happened, else what did
};

extern const std::vector<HostileCase> kHostileDeleteCases;
extern const std::vector<HostileCase> kHostileSteerCases;
