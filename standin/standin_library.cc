// The shared runtime library's own unit: the operations all come from the core.
#include "runtime/notes_runtime.h"
