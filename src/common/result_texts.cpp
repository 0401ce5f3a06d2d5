#include "common/result_texts.h"

#include <cstdio>

std::string IoErrorText(int errorCode) {
    char text[32];
    std::snprintf(text, sizeof text, "IoError %08xh", static_cast<unsigned>(errorCode));
    return text;
}
