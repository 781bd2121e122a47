// What an install checks before it changes anything: that it can put back what it removes.
#pragma once

namespace inst {

struct InstallContext;

// The package lies where only administrators can change it: the tool's folder, every folder
// above it and each file checked (error 29; then nothing is read). Every product file the
// reinstall will copy can be read, is not empty and, for a DLL, is a whole image for its
// environment with the build number the tool reads of it later; the system drive has room for
// every copy; the spooler runs. Those files and the companion stay open in the context, shared
// for reading only, until it is torn down. Reports each problem found (errors 22 to 26, 29) and
// returns whether there was none; changes nothing, and logs nothing when all is well.
bool CheckPackage(InstallContext* context);

}  // namespace inst
