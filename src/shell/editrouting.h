#pragma once
// The editing commands (0 cut, 1 copy, 2 paste, 3 undo, 4 redo, 5 select all) applied to
// the control that has the focus, in the way that control needs. Only the main window's
// editing controls take them; any other control, no control or a code above 5 changes
// nothing.

#include <cstdint>

class QWidget;

namespace qf::shell {

class TMainForm;

void ExecEditCommand(TMainForm &Form, QWidget *Control, std::uint8_t Code);

} // namespace qf::shell
