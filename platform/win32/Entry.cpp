#include "platform/Entry.h"

// MinGW calls wmain when the executable is linked with -municode.
int wmain(int argc, wchar_t** argv) { return TessarwickMain(argc, argv); }
