#include "reportengine/pdf/engine_info.h"

namespace re {

const char kEngineName[] = "Kavel report engine 1.0";

}  // namespace re
