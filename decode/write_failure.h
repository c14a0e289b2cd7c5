// The one fatal error of the installer: decoded output that the destination file does not
// accept in full. The run cannot sensibly go on (later members would be written over a
// damaged one), so the process ends here.
#pragma once

// Ends the process through the runtime's ordinary exit, so exit handlers run and open stream
// buffers are flushed. `message` says what failed; the installer has no console, so for now
// it is not shown and the exit status is 0, the status of every other end of the program.
[[noreturn]] void FailWrite(const char* message);
