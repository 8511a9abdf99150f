#include "carddetect/library_globals.h"

NwLibraryGlobals& NwGlobals() {
  static NwLibraryGlobals globals;
  return globals;
}
