// The update program's main routine: the application, its one window, the
// message loop. No command line is read.
#pragma once

int Update(int& argc, char** argv);
