#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database/database_holdings.h"

class CDfuDevice;

// The camera database as it lives on the Orvo: writing it so that a write cut
// off anywhere never looks complete, its date stamp, and reading back what the
// device holds. Each runs the device's region operations, monitored by the
// engine's clock, and publishes what they do on the device's events.

// How a database write ended (see WriteDatabase).
enum class DatabaseWriteResult {
    Written,          // erased, written and read back identical
    AlreadyOnDevice,  // the device already held it byte for byte: nothing was erased or written
    Failed,           // the error has been shown; the device holds no date stamp and no header
};

// Writes the image of base + ".dfu": the date stamp is erased first, the
// block that holds the database's header is written last, and everything is
// read back and compared before the caller may stamp the date. A device that
// already holds the database is left as it is.
// `beforeErase` runs once the compare has found that the device differs,
// before anything is erased; false ends the write as Failed, the device
// untouched.
DatabaseWriteResult WriteDatabase(CDfuDevice& device, const std::string& base,
                                  const std::function<bool()>& beforeErase = {});

// Stamps today's local date.
bool WriteDateStamp(CDfuDevice& device);
// Writes these 10 bytes as the date stamp (a restored database's own).
bool WriteDateStamp(CDfuDevice& device, const std::string& bytes);

// Reads the date stamp and the database's header; false when either cannot be
// read. The raw bytes go to `dateStamp` and `header` if given.
bool ReadHoldings(CDfuDevice& device, DatabaseHoldings& holdings, std::vector<std::uint8_t>* dateStamp = nullptr,
                  std::vector<std::uint8_t>* header = nullptr);
// The same, and the whole packed database when there is one (`database`
// empty when there is none); false when something could not be read.
bool ReadHeldDatabase(CDfuDevice& device, DatabaseHoldings& holdings, std::vector<std::uint8_t>& dateStamp,
                      std::vector<std::uint8_t>& database);
