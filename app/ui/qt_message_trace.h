// Qt's own warnings (a platform plugin that cannot do something, a style
// that lacks an icon) go where the program's trace goes: the journal, or
// the log file, and the terminal only when VOMBEL_DEBUG asks for it. A
// fatal message still ends the program as Qt ends it.
#pragma once

void RouteQtMessagesToTrace();
