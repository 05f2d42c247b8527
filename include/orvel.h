/* orvel: drives up to sixteen I/O boards (48 relays, four analog outputs, an
 * eight-channel digitizer, four counters, a watchdog and a status port)
 * through the WINDRVR driver.
 *
 * Every function takes a board index 0..15 first; an index outside that
 * range does nothing and reads 0. Place a board with SetBaseAdrs before use;
 * FaultFlagsGet tells whether its driver handle opened and its port range
 * was claimed. Calls for one board must not overlap (no locks are taken).
 *
 * On Windows the functions use the standard calling convention (__stdcall)
 * and are exported by plain name from orvel.dll, ordinals 1 to 19 in the
 * order below. */
#ifndef ORVEL_H
#define ORVEL_H

#define ORVEL_VERSION_MAJOR 1
#define ORVEL_VERSION_MINOR 0
#define ORVEL_VERSION_PATCH 0
#define ORVEL_VERSION_STRING "1.0.0"

/* The resource compiler reads only the version above. */
#ifndef RC_INVOKED

#include <stdint.h>

#if defined(_WIN32)
#define ORVEL_CALL __stdcall
#if defined(ORVEL_BUILDING)
#define ORVEL_API /* the export list (orvel.def) names and numbers the exports */
#else
#define ORVEL_API __declspec(dllimport)
#endif
#else
#define ORVEL_CALL
#define ORVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Fault flags (sticky: nothing clears them). */
#define ORVEL_FAULT_RANGE_NOT_REGISTERED 0x01 /* a SetBaseAdrs could not claim its ports */
#define ORVEL_FAULT_DRIVER_NOT_OPEN 0x02      /* the WINDRVR device did not open at load */

#define ORVEL_DIGITIZE_TIMEOUT 0x7FFF /* Digitize: converter stayed busy */

/* 1  Zeroes the analog outputs; forgets relay and enable shadows (latches untouched). */
ORVEL_API void ORVEL_CALL BoardReset(int32_t board);
/* 2  Counter 0..3 (masked), 0..65535. */
ORVEL_API int32_t ORVEL_CALL CounterGet(int32_t board, int32_t counter);
/* 3 */
ORVEL_API void ORVEL_CALL CounterReset(int32_t board, int32_t counter);
/* 4  Mode 0..7 (masked), shared by all four counters. */
ORVEL_API void ORVEL_CALL CountersModeSet(int32_t board, int32_t mode);
/* 5  Output 0..3 (masked), 16-bit value. */
ORVEL_API void ORVEL_CALL DacOutputSet(int32_t board, int32_t output, int32_t value);
/* 6  Nonzero enables all four analog outputs. */
ORVEL_API void ORVEL_CALL DacsEnableSet(int32_t board, int32_t enable);
/* 7  One 16-bit reading, or ORVEL_DIGITIZE_TIMEOUT. */
ORVEL_API int32_t ORVEL_CALL Digitize(int32_t board);
/* 8  Channel 0..7 (masked). */
ORVEL_API void ORVEL_CALL DigitizerChanSet(int32_t board, int32_t channel);
/* 9 */
ORVEL_API int32_t ORVEL_CALL FaultFlagsGet(int32_t board);
/* 10 Relay 0..47 read from the board: its bit in place (relay 13 -> 0x20), or 0. */
ORVEL_API int32_t ORVEL_CALL RelayChanGet(int32_t board, uint32_t relay);
/* 11 Relay 0..47 as last commanded: its bit in place, or 0. */
ORVEL_API int32_t ORVEL_CALL RelayChanOutputGet(int32_t board, uint32_t relay);
/* 12 Relay 0..47 on (nonzero) or off; other numbers do nothing. */
ORVEL_API void ORVEL_CALL RelayChanSet(int32_t board, uint32_t relay, int32_t on);
/* 13 Group 0..5 byte read from the board, or 0. */
ORVEL_API int32_t ORVEL_CALL RelayGroupGet(int32_t board, uint32_t group);
/* 14 Group 0..5 value as last set (all 32 bits), or 0. */
ORVEL_API int32_t ORVEL_CALL RelayGroupOutputGet(int32_t board, uint32_t group);
/* 15 Group 0..5: the low byte drives the eight relays. */
ORVEL_API void ORVEL_CALL RelayGroupSet(int32_t board, uint32_t group, int32_t value);
/* 16 Places the board at a port base and claims 32 ports there (0: unplaced). */
ORVEL_API void ORVEL_CALL SetBaseAdrs(int32_t board, uint32_t base);
/* 17 Status byte. */
ORVEL_API int32_t ORVEL_CALL StatusGet(int32_t board);
/* 18 Nonzero enables the watchdog. */
ORVEL_API void ORVEL_CALL WatchdogEnableSet(int32_t board, int32_t enable);
/* 19 */
ORVEL_API void ORVEL_CALL WatchdogRefresh(int32_t board);

#ifdef __cplusplus
}
#endif

#endif /* RC_INVOKED */
#endif /* ORVEL_H */
