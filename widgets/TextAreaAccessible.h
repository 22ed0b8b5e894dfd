#pragma once

namespace zelvar {

// Lets screen readers and test drivers read a TextArea through the
// accessible text interface: its text, the line at the caret and around it,
// and the selection. Offsets count the document's own units (the log views
// count the bytes of their UTF-8 lines, which for the program's own ASCII
// lines are its characters; the editor counts UTF-16 units).
void InstallTextAreaAccessible();

}  // namespace zelvar
