/* Drives board 0 through the exports, the way an application would, and
 * says what it asked and what came back. Against the simulated driver, run
 * with ORVEL_SIM_TRACE=1 to see each driver request as it happens. */
#include <stdio.h>

#include "orvel.h"

#define BOARD 0
#define BASE 0x300u

static void say(const char* what) { printf("\n# %s\n", what); fflush(stdout); }

int main(void) {
    say("fault flags right after load");
    printf("FaultFlagsGet(0) = 0x%02X\n", (unsigned)FaultFlagsGet(BOARD));

    say("place board 0 at 0x300 and claim its 32 ports");
    SetBaseAdrs(BOARD, BASE);
    printf("FaultFlagsGet(0) = 0x%02X\n", (unsigned)FaultFlagsGet(BOARD));

    say("reset: analog outputs to zero, shadows forgotten");
    BoardReset(BOARD);

    say("relays 3 and 5 on, then group 4 as a whole");
    RelayChanSet(BOARD, 3, 1);
    RelayChanSet(BOARD, 5, 1);
    RelayGroupSet(BOARD, 4, 0xA5);
    printf("RelayGroupOutputGet(0, 0) = 0x%02X, RelayChanGet(0, 5) = 0x%02X\n",
           (unsigned)RelayGroupOutputGet(BOARD, 0), (unsigned)RelayChanGet(BOARD, 5));

    say("analog output 1 to 0x1234, outputs enabled, watchdog enabled and refreshed");
    DacOutputSet(BOARD, 1, 0x1234);
    DacsEnableSet(BOARD, 1);
    WatchdogEnableSet(BOARD, 1);
    WatchdogRefresh(BOARD);

    say("digitizer channel 2, one reading");
    DigitizerChanSet(BOARD, 2);
    printf("Digitize(0) = 0x%04X\n", (unsigned)Digitize(BOARD));

    say("counters: mode 5, reset counter 1, read it");
    CountersModeSet(BOARD, 5);
    CounterReset(BOARD, 1);
    printf("CounterGet(0, 1) = %d\n", (int)CounterGet(BOARD, 1));

    say("status");
    printf("StatusGet(0) = 0x%02X\n", (unsigned)StatusGet(BOARD));
    return 0;
}
