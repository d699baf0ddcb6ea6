// Small helpers the windows share: fonts that cover the Chinese captions and
// placing a window at the centre of the desktop.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace velmora {

// Font families by look; each falls back to a family that has the Chinese
// characters when the named one is not installed.
enum CjkFace { kSongTi, kHeiTi };

// A font of that look, `pixels` high.
QFont CjkFont(CjkFace face, int pixels, bool bold = false);

// The family for the whole program's texts: one that covers Chinese when one
// is installed, else empty.
QString ApplicationCjkFamily();

// The style sheet of a report list with grid lines (the backup list, the
// WeChat picker): a light line right of and below every cell. A selected row
// keeps a dark background with white text of its own, whatever the style
// draws for a selection, and a disabled list shows its selected row grey on
// grey, still readable.
QString GridLineListStyleSheet();

// Moves `window` so that it sits at the centre of its screen's free area.
void CenterOnDesktop(QWidget* window);

}  // namespace velmora
