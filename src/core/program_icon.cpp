#include "core/program_icon.h"

namespace kv {

QIcon programIcon() { return QIcon(kProgramIconPath); }

}  // namespace kv
