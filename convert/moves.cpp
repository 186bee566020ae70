#include "batch/run_state.h"
#include "convert/game.h"

namespace kirato {

int HandleMove(Run&, std::string_view) { return 0; }

int PrintMoveTree(Run&, std::string&) { return 0; }

}  // namespace kirato
