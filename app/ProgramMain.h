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

// Leaves the painting of large fills to one thread of Qt's global pool.
// Qt's raster paint engine cuts a fill of more than about a hundred pixel
// rows (a scroll bar's groove, a progress bar's frame, a header's lines)
// into tasks of 64 rows for that pool, wakes a pool thread for each task and
// waits for them all. In this program's windows a task is a few
// microseconds of work and waking a thread costs more, several times more on
// a busy or virtual machine; one scan's window paints about a hundred such
// tasks. With one pool thread a fill wakes one thread, which takes the
// fill's tasks in turn. The program gives the pool no work of its own.
void PaintLargeFillsOnOneThread();

}  // namespace velmora
