#pragma once
// The program entry: splash, the forms in their fixed order, the message loop, and
// the orderly end.

namespace qf::shell {

// Before the application object exists: as root Qt WebEngine runs without its sandbox,
// and WebEngine's start-up notes stay off the terminal.
void PrepareEnvironment();

// Creates the main window first and then the dialogs, each once. A form that fails
// to create is reported and start-up goes on.
void CreateForms();
// Frees the forms in reverse order (the dialogs live with the main window).
void FreeForms();

// The whole program. With the environment variable QUILLFAST_QUIT_AFTER_MS set, the
// main window closes itself that many milliseconds after it is shown (scripted checks).
int RunProgram(int argc, char **argv);

} // namespace qf::shell
