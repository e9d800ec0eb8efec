// The vantrel executable.
#include "client/Vantrel.h"
#include "platform/process.h"

int main(int argc, char** argv) { return vantrel::RunVantrel(argc, argv, platform::ProgramFolder()); }
