/* Asks Quell.dll whether this is an NT-family system and whether it may suspend. */
#include <stdio.h>

#include "Quell.h"

int main(void) {
    BOOL nt = CheckWindowsNT();
    BOOLEAN suspend;

    SetLastError(0);
    suspend = Quell_IsPwrSuspendAllowed(); /* Quell's forwarder, not powrprof's own */
    printf("NT family: %s (CheckWindowsNT = %ld)\n", nt ? "yes" : "no", (long)nt);
    printf("Suspend allowed: %s (IsPwrSuspendAllowed = %u, last error %lu)\n", suspend ? "yes" : "no",
           (unsigned)suspend, (unsigned long)GetLastError());
    return 0;
}
