// Start-up's memory in 2 MB pages.
//
// Start-up allocates some 700 MB that it touches once: every decoded picture
// (kept with its mesh), the image library's buffers, the driver's textures
// and their mipmaps. In 4 KB pages each first touch is a page fault, and on
// a virtual machine those made up half of the pictures' decode and upload
// times. glibc backs large blocks with transparent huge pages when asked by
// its tunable glibc.malloc.hugetlb=1, which it reads only as a process
// starts; so the demo starts itself once more with the tunable added.
#pragma once

// Execs the running program again with the same arguments and the tunable
// added to GLIBC_TUNABLES, unless the environment already asks for it or the
// kernel has transparent huge pages switched off. Returns only when there is
// nothing to do or the exec failed; either way the program goes on as it is.
// Call it first thing in main, before any thread or child exists.
void restartWithHugePages(char** argv);

// Whether GLIBC_TUNABLES, as given, already sets glibc.malloc.hugetlb.
bool tunablesSetHugePages(const char* tunables);
