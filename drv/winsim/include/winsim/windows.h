// What <windows.h>, <winspool.h> and <shellapi.h> give a Windows program, served by the
// simulated machine.
#pragma once
#include "winsim/win_types.h"
#include "winsim/win_errors.h"
#include "winsim/api_kernel.h"
#include "winsim/api_process.h"
#include "winsim/api_security.h"
#include "winsim/api_acl.h"
#include "winsim/api_file.h"
#include "winsim/api_version.h"
#include "winsim/api_registry.h"
#include "winsim/api_user.h"
#include "winsim/api_spool.h"
#include "winsim/api_driver.h"
#include "winsim/api_service.h"
#include "winsim/api_eventlog.h"
