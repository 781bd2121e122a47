// Hostile machines: a base machine changed as another user or program could change it, one
// command run on it, and what that command must not have done.
#pragma once
#include <string>
#include <vector>

struct HostileCase {
  const char* name;
  void (*base)(const std::string& root);  // one of the builders of sweep_machines.h
  void (*edit)();                         // changes winsim::M() after the base is built
  const char* word;                       // the command
  std::string (*harm)();                  // "" when nothing forbidden happened, else what did
};

extern const std::vector<HostileCase> kHostileDeleteCases;
extern const std::vector<HostileCase> kHostileSteerCases;
extern const std::vector<HostileCase> kHostilePackageCases;
