#include "batch/run_state.h"
#include "convert/game.h"

namespace kirato {

int HandleHeaderField(Run&, std::string_view, std::string&) { return 0; }

}  // namespace kirato
