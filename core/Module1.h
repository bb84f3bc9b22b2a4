#pragma once

// The program's entry: single-instance test, then the windows. Returns the
// process's exit status.
int Main(int argc, char** argv);
