#include "device/dfu/dfu_names.h"

#include <array>

#include "device/dfu/dfu_class.h"

namespace {

// Indexed by the bStatus value.
constexpr std::array<const char*, 16> kStatusNames = {
    "OK",        "errTARGET", "errFILE",     "errWRITE",    "errERASE",    "errCHECK_ERASED",
    "errPROG",   "errVERIFY", "errADDRESS",  "errNOTDONE",  "errFIRMWARE", "errVENDOR",
    "errUSBR",   "errPOR",    "errUNKNOWN",  "errSTALLEDPKT"};

// Indexed by the bState value. The report's names do not follow from the
// standard's by a rule, so each state carries both.
struct StateNames {
    const char* standard;
    const char* report;
};
constexpr std::array<StateNames, 11> kStateNames = {{
    {"appIDLE", "STATE_IDLE"},
    {"appDETACH", "STATE_DETACH"},
    {"dfuIDLE", "STATE_DFU_IDLE"},
    {"dfuDNLOAD-SYNC", "STATE_DFU_DOWNLOAD_SYNC"},
    {"dfuDNBUSY", "STATE_DFU_DOWNLOAD_BUSY"},
    {"dfuDNLOAD-IDLE", "STATE_DFU_DOWNLOAD_IDLE"},
    {"dfuMANIFEST-SYNC", "STATE_DFU_MANIFEST_SYNC"},
    {"dfuMANIFEST", "STATE_DFU_MANIFEST"},
    {"dfuMANIFEST-WAIT-RESET", "STATE_DFU_MANIFEST_WAIT_RESET"},
    {"dfuUPLOAD-IDLE", "STATE_DFU_UPLOAD_IDLE"},
    {"dfuERROR", "STATE_DFU_ERROR"},
}};

}  // namespace

const char* DfuStatusName(std::uint8_t status) {
    return status < kStatusNames.size() ? kStatusNames[status] : "unknown";
}

const char* DfuStateName(std::uint8_t state) {
    return state < kStateNames.size() ? kStateNames[state].standard : "unknown";
}

std::string DfuStatusReportName(std::uint8_t status) {
    if (status >= kStatusNames.size())
        return {};
    // The report has always shown this one without its final letter; users
    // and their support notes know it by that text.
    if (status == dfu::errCHECK_ERASED)
        return "STATUS_errCHECK_ERASE";
    return std::string("STATUS_") + kStatusNames[status];
}

std::string DfuStateReportName(std::uint8_t state) {
    return state < kStateNames.size() ? kStateNames[state].report : std::string();
}
