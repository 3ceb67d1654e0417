#pragma once

#include <QStringList>

#include "system/startfolder.h"

class QApplication;

namespace app {

// What every run shares, the tests' included: the application's title and icon, and the
// end of the application when its main window closes.
void Initialise(QApplication& application);

// Start-up: loads and shows the main window, in the folder started in (or the nearest that
// can be read), from the readings of it begun before, or begun now.
void Start();
void Start(const forms::StartFolderReadings& begun);

// The options that need no display: --help and --version print to standard output. Returns
// the program's exit status when the command line asks for one of them (or is malformed),
// else -1.
int Options(int argc, char** argv);

// The files named on the command line, as the program shows paths, made absolute against the
// folder the program was started in (a name that cannot be made so stays relative). Options it
// does not know are reported on standard error and left out.
QStringList FileArguments(int argc, char** argv);

// Puts the files named on the command line into the play list, once the main window shows.
void OpenArguments(const QStringList& files);

// The program: checks for a display, starts, and runs the event loop.
int Run(int argc, char** argv);

}  // namespace app
