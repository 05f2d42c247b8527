// Fault: board 0 is torn down before the rest of the table, so unload no
// longer runs from board 15 down (and board 0's destructor runs twice).
#include "board_table.h"

namespace {

struct DestroyBoardZeroFirst {
    // Constructed after the table, so destroyed before it.
    ~DestroyBoardZeroFirst() { orvel::BoardTable[0].~WindrvrBoard(); }
} destroyBoardZeroFirst;

}  // namespace
