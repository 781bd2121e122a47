// What an install checks before it changes anything: that it can put back what it removes.
#pragma once

namespace inst {

struct InstallContext;

// Every product file the reinstall will copy can be read, is not empty and, for a DLL, is a
// whole image for its environment with the build number the tool reads of it later; the system
// drive has room for every copy; the spooler runs. Reports each problem found (errors 22 to 26)
// and returns whether there was none; reads only, and logs nothing when all is well.
bool CheckPackage(InstallContext* context);

}  // namespace inst
