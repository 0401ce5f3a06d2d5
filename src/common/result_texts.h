#pragma once

#include <string>

// Texts that more than one layer shows or hands on, defined here once.

// "IoError %08xh" for an operating system error code.
std::string IoErrorText(int errorCode);
