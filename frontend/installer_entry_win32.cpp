// Temporary entry point until the title window lands: does nothing and exits with 0.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
