// Steps of start-up and of the start and end of a run that belong to the front end's window
// decorations and to the stored path history. The portable dialog has nothing to do for them;
// the window adapters and the path-history store fill them in.

#include "app/programmer_dialog.h"

namespace kestrune {

void ProgrammerDialog::AttachBrowseBitmap() {}

void ProgrammerDialog::AttachFileDrop() {}

// Fills combo box 1000 with the stored history and takes the remembered path.
void ProgrammerDialog::LoadPathHistory() {}

// Stores the history of combo box 1000, the current path first.
void ProgrammerDialog::SavePathHistory() {}

}  // namespace kestrune
