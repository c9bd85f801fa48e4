#include "winsim/files.h"

namespace winsim {}  // namespace winsim
