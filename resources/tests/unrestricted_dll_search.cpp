// For a test build of a program without its DLL search restriction: this definition wins over the
// library's, which is then never linked in.
#include "setupkit/dll_search.h"

DllSearch restrict_dll_search()
{
    return DllSearch::kUnchanged;
}
