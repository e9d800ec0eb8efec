// Program entry of the Vantrel client: prepares the process, binds the
// engine, runs the window and releases the engine before the window goes.
#pragma once

#include <string>

namespace vantrel {

// Runs the client with the engine and runtime found in `program_folder`;
// returns the process exit code.
int RunVantrel(int argc, char** argv, const std::string& program_folder);

}  // namespace vantrel
