#pragma once

// The fuzz target's side of its hidapi functions.
namespace ScriptedHid {
// Forgets every handle of the last input (its engine is gone).
void resetHandles();
// Handles opened and not yet closed.
int openHandleCount();
} // namespace ScriptedHid
