// The tool's build: the last part of its version. A macro, so that the version resource
// (res/install.rc) takes it from here too.
#pragma once
#define PRODUCT_BUILD 2501
