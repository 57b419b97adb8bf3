#pragma once

/// `velan record ...` runs the recorder's own program in this process's place (the same
/// process, so a service manager follows it): the one beside this program (a build tree), else
/// the installed one. Returns only when it cannot be started, with the exit status.
int launchRecorder(int argc, char* argv[]);
