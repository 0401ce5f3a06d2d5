#include "common/input_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_files.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What is not a regular file is refused by its kind before a byte is read,
// and at once: a FIFO without a writer must not hold the caller (a test
// that hangs here is ended by ctest's time-out).
TEST(InputFile, TakesOnlyARegularFileAndSaysWhyNot) {
    ScratchFolder folder("input_file_kinds");
    const struct {
        std::string path;
        const char* reason;
    } refused[] = {
        {DeviceFilePath(), "is a device, not a regular file"},
        {Utf8String(folder.Path()), "is a folder, not a regular file"},
        {folder.File("missing"), "cannot be opened: No such file or directory"},
    };
    for (const auto& input : refused) {
        SCOPED_TRACE(input.path);
        std::vector<std::uint8_t> bytes{1};
        const InputFileRead read = ReadInputFile(input.path, 1024, bytes);
        EXPECT_FALSE(read.ok);
        EXPECT_TRUE(Has(read.reason, input.reason)) << read.reason;
        EXPECT_TRUE(bytes.empty());
    }

    const std::string text = folder.File("db.txt");
    WriteBytes(text, {'a', 'b', '\n'});
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ReadInputFile(text, 3, bytes).ok);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'a', 'b', '\n'}));

    ORVO_SKIP_WITHOUT(Fifo);
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(MakeFifo(fifo), 0);
    const InputFileRead read = ReadInputFile(fifo, 1024, bytes);
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(Has(read.reason, "is a FIFO, not a regular file")) << read.reason;
}

// A huge sparse file is refused by its size, before anything is read into
// memory.
TEST(InputFile, RefusesAFileLargerThanItsLimitByItsSize) {
    ScratchFolder folder("input_file_size");
    const std::string sparse = folder.File("sparse");
    WriteBytes(sparse, {});
    std::filesystem::resize_file(sparse, 2ull * 1024 * 1024 * 1024);
    std::vector<std::uint8_t> bytes;
    // Its size, not "grew past": nothing was read.
    const InputFileRead read = ReadInputFile(sparse, 256ull * 1024 * 1024, bytes);
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(Has(read.reason, "is too large (2147483648 bytes; at most 268435456)")) << read.reason;
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(ReadInputFile(sparse, 2ull * 1024 * 1024 * 1024 - 1, bytes).ok) << "one byte over";
}

}  // namespace
