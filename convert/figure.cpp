#include "batch/run_state.h"
#include "convert/game.h"

namespace kirato {

int HandleFigureLine(Run&, std::string_view) { return 0; }

}  // namespace kirato
