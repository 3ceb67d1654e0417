#pragma once

class QApplication;

namespace app {

// What every run shares, the tests' included: the application's title and icon, and the
// end of the application when its main window closes.
void Initialise(QApplication& application);

// Start-up: loads and shows the main window.
void Start();

// The program: checks for a display, starts, and runs the event loop.
int Run(int argc, char** argv);

}  // namespace app
