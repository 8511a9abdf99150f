// Module handles: a module is the program itself (null) or a set of
// compiled-in resources registered under a handle of its own (tests build such
// sets to feed the resource helpers data the program does not ship).
#pragma once

namespace platform {

using HMODULE = struct ModuleTag*;

}  // namespace platform
