// The process entry point lives in the platform layer (wmain on Windows, main with the arguments
// decoded from UTF-8 elsewhere) and calls this function with the wide-character command line.
#pragma once

int TessarwickMain(int argc, wchar_t** argv);
