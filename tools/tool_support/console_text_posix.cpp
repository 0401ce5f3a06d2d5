#include "tool_support/console_text.h"

// A terminal here takes the bytes as they are; its locale is the user's.
void UseUtf8Console() {}
