#pragma once
// How the client and the service keep memory they have freed.

namespace vlt {

// Freed memory stays in the process (up to 256 MiB) for the next large load instead of going
// back to the system at once. A window that loads tens of thousands of rows otherwise takes
// fresh pages from the system on every load, and faulting them in costs as much as decoding
// the rows. Call once at start, before other threads run. Does nothing where the C library
// offers no such setting.
void KeepFreedMemory();

}  // namespace vlt
