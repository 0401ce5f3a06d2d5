#pragma once

#include <string>

class Resources;

// A text for the user from any thread, told in a box once the event loop
// runs (and on stderr), so the thread that met the problem never waits.
void TellUserLater(const Resources& resources, const std::string& text);

// Text `id` of the resources in force with its "%1" replaced by `value`.
std::string TextWithValue(const Resources& resources, int id, const std::string& value);
