#include "winsim/desktop.h"

namespace winsim {}  // namespace winsim
