#include <ctime>

#include "database/dfu_preparation.h"

namespace DfuPreparation {

std::string DateStampBytes(const std::tm& localDate) {
    char text[16];
    if (std::strftime(text, sizeof text, "%d.%m.%y", &localDate) != 8)
        return {};
    // The line end is written as bytes, never through a text-mode
    // translation: the stamp is 10 bytes on every platform.
    return std::string(text) + "\r\n";
}

}  // namespace DfuPreparation
