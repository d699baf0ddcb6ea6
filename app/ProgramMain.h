// The program's entry: the application object, the windows in their order,
// then the message loop.
#pragma once

namespace velmora {

// Creates TMain (the main window, whose creation reads config.ini and runs the
// daily update check), then the DVR wizard TForm1, TForm2, the debug windows TForm3
// and TForm4, TForm6, TForm7, TForm8 and TForm9, then runs the
// message loop until the application is asked to end. Returns the exit code.
int ProgramMain(int argc, char** argv);

// Sets a font family that covers Chinese for the whole application, when one
// is installed.
void UseCjkApplicationFont();

}  // namespace velmora
