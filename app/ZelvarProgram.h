#pragma once

#include <functional>

class TEditorForm;
class TMainForm;

namespace zelvar {

// The main window, the editor window and the settings dialog, created in
// this order and wired together, and the event loop until the main window
// has closed; gives the program's exit status. `started` runs once the main
// window is up. Needs a QApplication.
int RunZelvar(const std::function<void(TMainForm&, TEditorForm&)>& started = {});

}  // namespace zelvar
