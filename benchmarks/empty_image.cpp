// The baseline of the load-cycle benchmark: an image built like Quell.dll that does nothing.
#include <windef.h>

extern "C" BOOL WINAPI EmptyMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
