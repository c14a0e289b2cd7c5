// The progress poll of extraction in the installer: keeps the install dialog and every other
// window of the thread alive during long copies and decodes, and carries the abort test.
#pragma once

// Dispatches every waiting message, offering each to the install dialog first; then answers
// true (stop) when the user has confirmed Cancel and the member being written is not the
// protected one.
bool PumpMessages();
