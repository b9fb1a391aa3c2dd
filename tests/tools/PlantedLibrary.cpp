// Stands in for a library that someone planted where a bare-name load would find it first: the
// tests copy it under the name of a system library and check that it is never the one loaded.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" __declspec(dllexport) int PlantedLibraryMarker()
{
    return 0x504C4E54;
}
