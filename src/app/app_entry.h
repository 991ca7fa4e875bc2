// The application's process entry point: configures the runtime for the
// order-taking terminal and runs it.
#pragma once

// Runs the program with the process arguments and returns the exit status.
int QuillonEntry(int argc, char** argv);
