// What an install checks of the Windows it runs on before anything else: a spooler that can load
// the product's x64 code, and no protected print mode, which blocks third-party drivers.
#pragma once

namespace inst {

struct InstallContext;

// Reports an Arm64 machine (error 30) and protected print mode (error 31); returns whether
// neither was found. Reads only; what cannot be asked counts as not found and is logged.
bool CheckPlatform(InstallContext* context);

}  // namespace inst
