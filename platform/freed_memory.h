#pragma once
// Gives the memory the program has freed back to the system. The C library
// keeps freed memory for reuse, per thread arena; with Qt WebEngine's many
// threads a long run leaves tens of MB of it scattered and never reused
// (about 30 KB a page with accessibility on). Costs well under a millisecond.
namespace platform {

void ReturnFreedMemory();

}  // namespace platform
