// The nineteen exports: each picks its board and calls the operation of the
// same name. An index outside the table does nothing and reads 0.
#include "orvel.h"

#include "board_table.h"

using orvel::Board;
using orvel::BoardAt;

extern "C" {

ORVEL_API void ORVEL_CALL SetBaseAdrs(int32_t board, uint32_t base) {
    if (Board* b = BoardAt(board)) b->Board::SetBaseAdrs(base);
}
ORVEL_API void ORVEL_CALL BoardReset(int32_t board) {
    if (Board* b = BoardAt(board)) b->Board::BoardReset();
}
ORVEL_API int32_t ORVEL_CALL StatusGet(int32_t board) {
    Board* b = BoardAt(board);
    return b ? b->Board::StatusGet() : 0;
}
ORVEL_API int32_t ORVEL_CALL FaultFlagsGet(int32_t board) {
    Board* b = BoardAt(board);
    return b ? b->Board::FaultFlagsGet() : 0;
}

ORVEL_API void ORVEL_CALL RelayChanSet(int32_t board, uint32_t relay, int32_t on) {
    if (Board* b = BoardAt(board)) b->Board::RelayChanSet(relay, on);
}
ORVEL_API int32_t ORVEL_CALL RelayChanGet(int32_t board, uint32_t relay) {
    Board* b = BoardAt(board);
    return b ? b->Board::RelayChanGet(relay) : 0;
}
ORVEL_API int32_t ORVEL_CALL RelayChanOutputGet(int32_t board, uint32_t relay) {
    Board* b = BoardAt(board);
    return b ? b->Board::RelayChanOutputGet(relay) : 0;
}
ORVEL_API void ORVEL_CALL RelayGroupSet(int32_t board, uint32_t group, int32_t value) {
    if (Board* b = BoardAt(board)) b->Board::RelayGroupSet(group, value);
}
ORVEL_API int32_t ORVEL_CALL RelayGroupGet(int32_t board, uint32_t group) {
    Board* b = BoardAt(board);
    return b ? b->Board::RelayGroupGet(group) : 0;
}
ORVEL_API int32_t ORVEL_CALL RelayGroupOutputGet(int32_t board, uint32_t group) {
    Board* b = BoardAt(board);
    return b ? b->Board::RelayGroupOutputGet(group) : 0;
}

ORVEL_API void ORVEL_CALL DacOutputSet(int32_t board, int32_t output, int32_t value) {
    if (Board* b = BoardAt(board)) b->Board::DacOutputSet(output, value);
}
ORVEL_API void ORVEL_CALL DacsEnableSet(int32_t board, int32_t enable) {
    if (Board* b = BoardAt(board)) b->Board::DacsEnableSet(enable);
}
ORVEL_API void ORVEL_CALL DigitizerChanSet(int32_t board, int32_t channel) {
    if (Board* b = BoardAt(board)) b->Board::DigitizerChanSet(channel);
}
ORVEL_API int32_t ORVEL_CALL Digitize(int32_t board) {
    Board* b = BoardAt(board);
    return b ? b->Board::Digitize() : 0;
}

ORVEL_API int32_t ORVEL_CALL CounterGet(int32_t board, int32_t counter) {
    Board* b = BoardAt(board);
    return b ? b->Board::CounterGet(counter) : 0;
}
ORVEL_API void ORVEL_CALL CounterReset(int32_t board, int32_t counter) {
    if (Board* b = BoardAt(board)) b->Board::CounterReset(counter);
}
ORVEL_API void ORVEL_CALL CountersModeSet(int32_t board, int32_t mode) {
    if (Board* b = BoardAt(board)) b->Board::CountersModeSet(mode);
}
ORVEL_API void ORVEL_CALL WatchdogEnableSet(int32_t board, int32_t enable) {
    if (Board* b = BoardAt(board)) b->Board::WatchdogEnableSet(enable);
}
ORVEL_API void ORVEL_CALL WatchdogRefresh(int32_t board) {
    if (Board* b = BoardAt(board)) b->Board::WatchdogRefresh();
}

}  // extern "C"
