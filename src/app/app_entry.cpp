#include "app/app_entry.h"

int QuillonEntry(int /*argc*/, char** /*argv*/) { return 0; }
