#pragma once

namespace zelvar {

// Lets screen readers and test drivers read a LogView's text through the
// accessible text interface. Offsets count the bytes of the LF-joined UTF-8
// text, which for the program's own (ASCII) lines are its characters.
void InstallLogViewAccessible();

}  // namespace zelvar
