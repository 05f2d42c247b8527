#include "board_table.h"

namespace orvel {

// Static storage, constructed in index order when the library loads.
WindrvrBoard BoardTable[BOARD_COUNT];

}  // namespace orvel
