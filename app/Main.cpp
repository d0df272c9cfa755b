// The executable is a thin shell: the platform's entry point hands the wide-character command
// line to TessarwickMain.
#include "app/CommandLine.h"
#include "platform/Entry.h"

int TessarwickMain(int argc, wchar_t** argv) {
  tessarwick::TargetOperations operations;
  return tessarwick::RunCommand(argc, argv, operations);
}
