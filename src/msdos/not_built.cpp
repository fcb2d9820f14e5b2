// Exports whose operations are not built yet: each gives the not-available
// answer of its result kind.
#include "frame/library.h"

HRESULT WINAPI DllGetVersion(struct _DLLVERSIONINFO *) { return E_NOTIMPL; }

BOOL WINAPI WindowsMsDosModus() { return NotAvailable(); }
BOOL WINAPI CheckMsDosModus() { return NotAvailable(); }
