#include "winsim/registry.h"

namespace winsim {}  // namespace winsim
