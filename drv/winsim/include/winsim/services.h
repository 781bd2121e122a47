// The service control manager's state: installed services with their simulated start and stop
// times, and the handles a program holds open.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/api_service.h"

namespace winsim {

struct Service {
  std::string name;
  DWORD state = SERVICE_STOPPED;  // SERVICE_STOPPED .. SERVICE_RUNNING
  int64_t startDelayMs = 500;     // start pending -> running; -1 never
  int64_t stopDelayMs = 300;      // stop pending -> stopped; -1 never
  uint64_t pendingSinceMs = 0;    // when the current pending state began
  uint32_t starts = 0;            // how often it reached running: a new process each time
};

struct ServiceHandle {
  std::string service;  // empty for a manager handle
  DWORD access = 0;
};

struct ServiceState {
  std::vector<Service> services;
  std::map<uint64_t, ServiceHandle> handles;  // open in this run; not saved
  uint64_t nextHandle = 0x5C0010;
};

// The service named `name` (case-insensitive) with its pending transition brought up to the
// simulated time, or null.
Service* FindService(const std::string& name);
bool ServiceRunning(const std::string& name);
// How often the spooler has reached "running": tells one spooler process from the next.
uint32_t SpoolerStarts();

// RPC_S_SERVER_UNAVAILABLE while the spooler is not running, else 0: every spooler call
// checks it.
DWORD SpoolerUnavailable();

}  // namespace winsim
