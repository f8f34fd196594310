// The launcher's entry point, shared by the executable and the tests.
#pragma once

namespace ferrolan::launcher {

/// Runs the launcher with the C runtime's arguments. Returns 0 from the developer test modes;
/// the normal run and the splash test end the process themselves.
int LauncherMain(int argc, char** argv);

}  // namespace ferrolan::launcher
