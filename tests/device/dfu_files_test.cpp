#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_image_store.h"
#include "support/scratch_files.h"

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

DfuHandle MakeImage(std::uint8_t alternate, const char* name,
                    const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>>& elements) {
    DfuHandle image = 0;
    EXPECT_EQ(STDFUFILES_CreateImage(&image, alternate), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_SetImageName(image, name), STDFU_NOERROR);
    std::uint32_t index = 0;
    for (auto [address, data] : elements) {
        DfuElement element{address, static_cast<std::uint32_t>(data.size()), data.empty() ? nullptr : data.data()};
        EXPECT_EQ(STDFUFILES_SetImageElement(image, index++, 1, element), STDFU_NOERROR);
    }
    return image;
}

std::vector<std::uint8_t> ElementData(DfuHandle image, std::uint32_t index, std::uint32_t* address = nullptr) {
    DfuElement element{};
    EXPECT_EQ(STDFUFILES_GetImageElement(image, index, &element), STDFU_NOERROR);
    std::vector<std::uint8_t> data(element.dwDataLength);
    element.Data = data.data();
    EXPECT_EQ(STDFUFILES_GetImageElement(image, index, &element), STDFU_NOERROR);
    if (address != nullptr)
        *address = element.dwAddress;
    return data;
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Recomputes the CRC so that only the fault a test put in remains.
std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> bytes) {
    const std::size_t crcAt = bytes.size() - 4;
    PutU32(bytes, crcAt, DfuFileFormat::Crc(std::span(bytes).first(crcAt)));
    return bytes;
}

// Two images, an empty name and an empty element among them. Layout:
//   0 signature, 8 version, 9 images length (50), 13 image count (2)
//  14 image 0: alt, 15 name length (1), 16 name "A", 17 element count (2),
//     21 elements length (19), 25 element 0 (address, size 3, data at 33),
//     36 element 1 (address, size 0)
//  44 image 1: alt, 45 name length (0), 46 element count (1),
//     50 elements length (10), 54 element (address, size 2, data at 62)
//  64 suffix, 76 CRC; 80 bytes in all
DfuFileContents SampleContents() {
    DfuFileContents c;
    c.vendorId = 0x1234;
    c.productId = 0x5678;
    c.bcdDevice = 0x0102;
    c.images.push_back({0, "A", {{0x00100000, {1, 2, 3}}, {0x00110000, {}}}});
    c.images.push_back({1, "", {{0x00510000, {0xAB, 0xCD}}}});
    return c;
}

std::vector<std::uint8_t> SampleBytes() {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(DfuFileFormat::Serialize(SampleContents(), bytes));
    EXPECT_EQ(bytes.size(), 80u);
    return bytes;
}

DfuResult OpenBytes(const ScratchFolder& folder, const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder.File("probe.dfu");
    WriteBytes(path, bytes);
    DfuHandle file = 0;
    const DfuResult result = STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, nullptr);
    if (result == STDFU_NOERROR)
        STDFUFILES_CloseDFUFile(file);
    return result;
}

}  // namespace

TEST(DfuFileFormat, CrcIsTheUncomplementedCrc32) {
    const char* check = "123456789";
    EXPECT_EQ(DfuFileFormat::Crc(std::span(reinterpret_cast<const std::uint8_t*>(check), 9)), ~0xCBF43926u);
}

TEST(DfuFileFormat, LayoutIsByteExact) {
    DfuFileContents c;
    c.vendorId = 0x1234;
    c.productId = 0x5678;
    c.bcdDevice = 0x0200;
    c.images.push_back({1, "ab", {{0x11223344, {0xAA, 0xBB}}}});
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(DfuFileFormat::Serialize(c, bytes));

    auto expected = Bytes({'O', 'r', 'v', 'o', 'D', 'F', 'U', 0x1A, 1, 22, 0, 0, 0, 1,      // prefix
                           1, 2, 'a', 'b', 1, 0, 0, 0, 10, 0, 0, 0,                       // image
                           0x44, 0x33, 0x22, 0x11, 2, 0, 0, 0, 0xAA, 0xBB,                // element
                           0x00, 0x02, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 'U', 'F', 'D', 16,  // suffix
                           0, 0, 0, 0});
    expected = WithCrc(expected);
    EXPECT_EQ(bytes, expected);

    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.contents, c);
}

TEST(DfuFiles, RoundTripThroughTheHandles) {
    ScratchFolder folder("dfu_round_trip");
    const std::string path = folder.File("two.dfu");
    const std::size_t liveBefore = DfuImageStore::LiveCount();

    DfuHandle first = MakeImage(0, "Firmware", {{0x00100000, {1, 2, 3, 4}}, {0x00104000, {}}, {0x00108000, {9}}});
    DfuHandle second = MakeImage(1, "", {});
    DfuHandle file = 0;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x1234, 0x5678, 0x0102), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, first), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, second), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_DestroyImage(&first), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_DestroyImage(&second), STDFU_NOERROR);
    EXPECT_EQ(first, 0u);

    std::uint16_t vendor = 0, product = 0, release = 0;
    std::uint8_t count = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, &vendor, &product, &release, &count), STDFU_NOERROR);
    EXPECT_EQ(vendor, 0x1234);
    EXPECT_EQ(product, 0x5678);
    EXPECT_EQ(release, 0x0102);
    ASSERT_EQ(count, 2);
    DfuHandle read0 = 0, read1 = 0;
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, &read0), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 1, &read1), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);

    // The images outlive the file they were read from.
    std::uint8_t alternate = 0xFF;
    std::uint32_t elements = 0;
    EXPECT_EQ(STDFUFILES_GetImageAlternate(read0, &alternate), STDFU_NOERROR);
    EXPECT_EQ(alternate, 0);
    EXPECT_EQ(STDFUFILES_GetImageNbElement(read0, &elements), STDFU_NOERROR);
    ASSERT_EQ(elements, 3u);
    std::uint32_t address = 0;
    EXPECT_EQ(ElementData(read0, 0, &address), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(address, 0x00100000u);
    EXPECT_TRUE(ElementData(read0, 1, &address).empty());
    EXPECT_EQ(address, 0x00104000u);
    EXPECT_EQ(ElementData(read0, 2), Bytes({9}));
    EXPECT_EQ(DfuImageStore::Snapshot(read0)->name, "Firmware");
    EXPECT_EQ(STDFUFILES_GetImageAlternate(read1, &alternate), STDFU_NOERROR);
    EXPECT_EQ(alternate, 1);
    EXPECT_EQ(STDFUFILES_GetImageNbElement(read1, &elements), STDFU_NOERROR);
    EXPECT_EQ(elements, 0u);

    STDFUFILES_DestroyImage(&read0);
    STDFUFILES_DestroyImage(&read1);
    EXPECT_EQ(DfuImageStore::LiveCount(), liveBefore);
}

TEST(DfuFiles, NewFileIsValidAndEmptyUntilClosed) {
    ScratchFolder folder("dfu_new_file");
    const std::string path = folder.File("new.dfu");
    DfuHandle file = 0;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    const DfuFileParse atCreate = DfuFileFormat::Parse(ReadBytes(path));
    ASSERT_TRUE(atCreate.ok) << atCreate.error;
    EXPECT_TRUE(atCreate.contents.images.empty());

    DfuHandle image = MakeImage(1, "", {{0x004E0000, {'x'}}});
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    // The file holds the image as it was appended.
    DfuElement changed{0x1, 0, nullptr};
    ASSERT_EQ(STDFUFILES_SetImageElement(image, 0, 0, changed), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    STDFUFILES_DestroyImage(&image);

    const DfuFileParse atClose = DfuFileFormat::Parse(ReadBytes(path));
    ASSERT_TRUE(atClose.ok) << atClose.error;
    ASSERT_EQ(atClose.contents.images.size(), 1u);
    EXPECT_EQ(atClose.contents.images[0].elements[0], (DfuImageElementData{0x004E0000, {'x'}}));
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
}

TEST(DfuFiles, AppendingToAnExistingFileKeepsItsImages) {
    ScratchFolder folder("dfu_append_existing");
    const std::string path = folder.File("upFile.dfu");
    WriteBytes(path, SampleBytes());

    DfuHandle file = 0;
    std::uint8_t count = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, &count), STDFU_NOERROR);
    EXPECT_EQ(count, 2);
    DfuHandle image = MakeImage(1, "", {{0x004F0000, {7, 7}}});
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    STDFUFILES_DestroyImage(&image);

    DfuFileContents expected = SampleContents();
    expected.images.push_back({1, "", {{0x004F0000, {7, 7}}}});
    const DfuFileParse parsed = DfuFileFormat::Parse(ReadBytes(path));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.contents, expected);
}

TEST(DfuFiles, ClosingAFileOnlyReadLeavesItAlone) {
    ScratchFolder folder("dfu_read_only");
    const std::string path = folder.File("sample.dfu");
    WriteBytes(path, SampleBytes());
    DfuHandle file = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, nullptr), STDFU_NOERROR);
    std::filesystem::remove(path);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DfuFileReader, RejectsDamagedSuffixPrefixAndCrc) {
    ScratchFolder folder("dfu_reader_suffix");
    const auto good = SampleBytes();
    ASSERT_EQ(OpenBytes(folder, good), STDFU_NOERROR);

    auto badSignature = good;
    badSignature[3] = 'X';
    auto badVersion = good;
    badVersion[8] = 2;
    auto badBcdDfu = good;
    badBcdDfu[64 + 7] = 0x02;
    auto badUfd = good;
    badUfd[64 + 8] = 'D';
    auto badLength = good;
    badLength[64 + 11] = 15;
    for (const auto* bytes : {&badSignature, &badVersion, &badBcdDfu, &badUfd, &badLength})
        EXPECT_EQ(OpenBytes(folder, WithCrc(*bytes)), STDFUFILES_BAD_FORMAT);

    // The CRC catches any changed byte, suffix values and CRC included.
    for (std::size_t i = 0; i < good.size(); ++i) {
        auto flipped = good;
        flipped[i] ^= 0x01;
        EXPECT_EQ(OpenBytes(folder, flipped), STDFUFILES_BAD_FORMAT) << "byte " << i;
    }
}

TEST(DfuFileReader, RejectsEveryTruncation) {
    ScratchFolder folder("dfu_reader_truncation");
    const auto good = SampleBytes();
    for (std::size_t size = 0; size < good.size(); ++size) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(OpenBytes(folder, cut), STDFUFILES_BAD_FORMAT) << "size " << size;
    }
    // The images cut short at every byte, with the images length, suffix and
    // CRC made to match: only the structure itself is incomplete.
    const std::vector<std::uint8_t> suffix(good.end() - 16, good.end());
    for (std::size_t kept = 0; kept < 50; ++kept) {
        std::vector<std::uint8_t> bytes(good.begin(), good.begin() + 14 + static_cast<std::ptrdiff_t>(kept));
        PutU32(bytes, 9, static_cast<std::uint32_t>(kept));
        bytes.insert(bytes.end(), suffix.begin(), suffix.end());
        const DfuFileParse parsed = DfuFileFormat::Parse(WithCrc(bytes));
        EXPECT_FALSE(parsed.ok) << "images cut to " << kept;
        EXPECT_EQ(parsed.suffix.crc, parsed.computedCrc);
        EXPECT_EQ(OpenBytes(folder, WithCrc(bytes)), STDFUFILES_BAD_FORMAT);
    }
}

TEST(DfuFileReader, RejectsWrongCountsAndLengths) {
    ScratchFolder folder("dfu_reader_counts");
    const auto good = SampleBytes();
    struct Fault {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
        bool u8;
    };
    const Fault faults[] = {
        {"images length one short", 9, 49, false},
        {"images length one long", 9, 51, false},
        {"images length huge", 9, 0xFFFFFFFF, false},
        {"one image too many", 13, 3, true},
        {"one image too few", 13, 1, true},
        {"name length past the image", 15, 200, true},
        {"name length one long", 15, 2, true},
        {"element count one too many", 17, 3, false},
        {"element count one too few", 17, 1, false},
        {"element count huge", 17, 0xFFFFFFFF, false},
        {"elements length one short", 21, 18, false},
        {"elements length one long", 21, 20, false},
        {"elements length huge", 21, 0xFFFFFFFF, false},
        {"element size one long", 29, 4, false},
        {"element size one short", 29, 2, false},
        {"element size huge", 29, 0xFFFFFFFF, false},
        {"last element size past the image", 58, 3, false},
        {"last image element count", 46, 2, false},
    };
    for (const auto& fault : faults) {
        auto bytes = good;
        if (fault.u8)
            bytes[fault.offset] = static_cast<std::uint8_t>(fault.value);
        else
            PutU32(bytes, fault.offset, fault.value);
        const DfuFileParse parsed = DfuFileFormat::Parse(WithCrc(bytes));
        EXPECT_FALSE(parsed.ok) << fault.what;
        EXPECT_EQ(parsed.suffix.crc, parsed.computedCrc) << fault.what << ": only the structure is wrong";
        EXPECT_EQ(OpenBytes(folder, WithCrc(bytes)), STDFUFILES_BAD_FORMAT) << fault.what;
    }

    auto nulInName = good;
    nulInName[16] = 0;
    EXPECT_EQ(OpenBytes(folder, WithCrc(nulInName)), STDFUFILES_BAD_FORMAT);
}

TEST(DfuFileReader, RejectsTrailingBytes) {
    ScratchFolder folder("dfu_reader_trailing");
    const auto good = SampleBytes();

    auto afterSuffix = good;
    afterSuffix.push_back(0);
    EXPECT_EQ(OpenBytes(folder, afterSuffix), STDFUFILES_BAD_FORMAT);
    EXPECT_EQ(OpenBytes(folder, WithCrc(afterSuffix)), STDFUFILES_BAD_FORMAT);

    // A spare byte after the last image, counted in the images length.
    auto afterImages = good;
    afterImages.insert(afterImages.begin() + 64, 0);
    PutU32(afterImages, 9, 51);
    EXPECT_EQ(OpenBytes(folder, WithCrc(afterImages)), STDFUFILES_BAD_FORMAT);

    // A spare byte after an image's last element, counted in both lengths.
    auto afterElements = good;
    afterElements.insert(afterElements.begin() + 44, 0);
    PutU32(afterElements, 9, 51);
    PutU32(afterElements, 21, 20);
    EXPECT_EQ(OpenBytes(folder, WithCrc(afterElements)), STDFUFILES_BAD_FORMAT);
}

TEST(DfuFiles, FileErrorsAreResults) {
    ScratchFolder folder("dfu_file_errors");
    DfuHandle file = 0;
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(folder.File("missing.dfu").c_str(), &file, nullptr, nullptr, nullptr,
                                             nullptr),
              STDFUFILES_FILE_ERROR);
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(Utf8String(folder.Path()).c_str(), &file, nullptr, nullptr, nullptr,
                                             nullptr),
              STDFUFILES_FILE_ERROR);
    EXPECT_EQ(STDFUFILES_CreateNewDFUFile(folder.File("no/such/dir.dfu").c_str(), &file, 0, 0, 0),
              STDFUFILES_FILE_ERROR);
    EXPECT_EQ(file, 0u);
}

TEST(DfuFiles, FailedFinalWriteRemovesTheNewFile) {
    ORVO_SKIP_WITHOUT(FileSizeLimit);
    ScratchFolder folder("dfu_full_disk");
    const std::string path = folder.File("big.dfu");
    DfuHandle image = MakeImage(1, "", {{0x00510000, std::vector<std::uint8_t>(64 * 1024, 0x5A)}});
    DfuHandle file = 0;
    {
        FileSizeLimit fullDisk(4096);
        ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0, 0, 0), STDFU_NOERROR);
        ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
        EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_FILE_ERROR);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_BAD_HANDLE);  // closed all the same

    // A file that existed before keeps its old content.
    const std::string existing = folder.File("upFile.dfu");
    WriteBytes(existing, SampleBytes());
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(existing.c_str(), &file, nullptr, nullptr, nullptr, nullptr),
              STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    {
        FileSizeLimit fullDisk(4096);
        EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_FILE_ERROR);
    }
    EXPECT_EQ(ReadBytes(existing), SampleBytes());
    EXPECT_FALSE(std::filesystem::exists(existing + ".partial"));

    // The folder vanishing before the close is a failure too.
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    std::filesystem::remove_all(folder.Path());
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_FILE_ERROR);
    STDFUFILES_DestroyImage(&image);
}

TEST(DfuFiles, HandleMisuseGivesErrorResults) {
    ScratchFolder folder("dfu_handle_misuse");
    const std::string path = folder.File("sample.dfu");
    WriteBytes(path, SampleBytes());
    DfuHandle file = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, nullptr), STDFU_NOERROR);
    DfuHandle image = MakeImage(1, "", {{0x100, {1, 2, 3}}});
    DfuHandle destroyed = MakeImage(1, "", {});
    const DfuHandle stale = destroyed;
    ASSERT_EQ(STDFUFILES_DestroyImage(&destroyed), STDFU_NOERROR);

    std::uint8_t alternate = 0;
    std::uint32_t count = 0;
    DfuElement element{};
    DfuHandle out = 0;
    for (const DfuHandle bad : {DfuHandle{0}, DfuHandle{0xDEADBEEF}, stale, file}) {
        EXPECT_EQ(STDFUFILES_GetImageAlternate(bad, &alternate), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_GetImageNbElement(bad, &count), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_GetImageElement(bad, 0, &element), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_SetImageElement(bad, 0, 1, element), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_SetImageName(bad, "x"), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_DuplicateImage(bad, &out), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, bad), STDFUFILES_BAD_HANDLE);
        DfuHandle copy = bad;
        EXPECT_EQ(STDFUFILES_DestroyImage(&copy), STDFUFILES_BAD_HANDLE);
    }
    for (const DfuHandle bad : {DfuHandle{0}, DfuHandle{0xDEADBEEF}, image}) {
        EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(bad, 0, &out), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(bad, image), STDFUFILES_BAD_HANDLE);
        EXPECT_EQ(STDFUFILES_CloseDFUFile(bad), STDFUFILES_BAD_HANDLE);
    }

    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, -1, &out), STDFUFILES_BAD_INDEX);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 2, &out), STDFUFILES_BAD_INDEX);
    EXPECT_EQ(STDFUFILES_GetImageElement(image, 1, &element), STDFUFILES_BAD_INDEX);
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 2, 1, element), STDFUFILES_BAD_INDEX);
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 1, 0, element), STDFUFILES_BAD_INDEX);

    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(nullptr, &out, nullptr, nullptr, nullptr, nullptr), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
              STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_CreateImage(nullptr, 1), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_DestroyImage(nullptr), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_GetImageElement(image, 0, nullptr), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_SetImageName(image, nullptr), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_SetImageName(image, std::string(256, 'n').c_str()), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_SetImageName(image, std::string(255, 'n').c_str()), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 0, 1, DfuElement{0, 4, nullptr}), STDFU_BAD_PARAMETER);

    // A buffer smaller than the element is refused, not overrun.
    std::uint8_t small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    DfuElement tooSmall{0, 2, small};
    EXPECT_EQ(STDFUFILES_GetImageElement(image, 0, &tooSmall), STDFU_BAD_PARAMETER);
    EXPECT_EQ(small[0], 0xEE);

    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_BAD_HANDLE);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, &out), STDFUFILES_BAD_HANDLE);
    STDFUFILES_DestroyImage(&image);
}

TEST(DfuFiles, AppendRefusesWhatTheFormatCannotHold) {
    ScratchFolder folder("dfu_append_limits");
    DfuHandle file = 0;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(folder.File("many.dfu").c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    DfuHandle image = MakeImage(1, "", {});
    for (int i = 0; i < 255; ++i)
        ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    std::uint8_t count = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(folder.File("many.dfu").c_str(), &file, nullptr, nullptr, nullptr, &count),
              STDFU_NOERROR);
    EXPECT_EQ(count, 255);
    STDFUFILES_CloseDFUFile(file);

    // A name made too long through the store is caught when appended.
    DfuImageStore::WithImage(image, [](DfuImageData& d) { d.name.assign(300, 'x'); });
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(folder.File("long.dfu").c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_BAD_PARAMETER);
    STDFUFILES_CloseDFUFile(file);
    STDFUFILES_DestroyImage(&image);
}

TEST(DfuImages, ElementsAreInsertedReplacedAndCopied) {
    std::vector<std::uint8_t> buffer = {1, 2};
    DfuHandle image = MakeImage(1, "", {});
    ASSERT_EQ(STDFUFILES_SetImageElement(image, 0, 1, DfuElement{0x20, 2, buffer.data()}), STDFU_NOERROR);
    buffer = {3, 4};  // the image keeps its own copy
    ASSERT_EQ(STDFUFILES_SetImageElement(image, 0, 1, DfuElement{0x10, 2, buffer.data()}), STDFU_NOERROR);
    std::uint32_t address = 0;
    EXPECT_EQ(ElementData(image, 0, &address), Bytes({3, 4}));
    EXPECT_EQ(address, 0x10u);
    EXPECT_EQ(ElementData(image, 1, &address), Bytes({1, 2}));
    EXPECT_EQ(address, 0x20u);

    ASSERT_EQ(STDFUFILES_SetImageElement(image, 1, 0, DfuElement{0x30, 0, nullptr}), STDFU_NOERROR);
    std::uint32_t count = 0;
    STDFUFILES_GetImageNbElement(image, &count);
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(ElementData(image, 1, &address).empty());
    EXPECT_EQ(address, 0x30u);

    // A duplicate is independent of its source.
    DfuHandle copy = 0;
    ASSERT_EQ(STDFUFILES_DuplicateImage(image, &copy), STDFU_NOERROR);
    EXPECT_NE(copy, image);
    ASSERT_EQ(STDFUFILES_DestroyImage(&image), STDFU_NOERROR);
    EXPECT_EQ(ElementData(copy, 0), Bytes({3, 4}));
    EXPECT_TRUE(DfuImageStore::ReplaceElements(copy, {{0x40, {5}}}));
    EXPECT_EQ(ElementData(copy, 0, &address), Bytes({5}));
    EXPECT_EQ(address, 0x40u);
    STDFUFILES_DestroyImage(&copy);
    EXPECT_FALSE(DfuImageStore::ReplaceElements(copy, {}));
}

TEST(DfuImages, HandlesAreSafeAcrossThreads) {
    const std::size_t liveBefore = DfuImageStore::LiveCount();
    DfuHandle shared = MakeImage(1, "", {{0x0, std::vector<std::uint8_t>(256, 1)}});
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                DfuHandle own = 0;
                if (STDFUFILES_DuplicateImage(shared, &own) != STDFU_NOERROR)
                    ++failures;
                std::uint8_t value = static_cast<std::uint8_t>(t);
                if (STDFUFILES_SetImageElement(own, 0, 1, DfuElement{0, 1, &value}) != STDFU_NOERROR)
                    ++failures;
                DfuElement element{};
                if (STDFUFILES_GetImageElement(shared, 0, &element) != STDFU_NOERROR || element.dwDataLength != 256)
                    ++failures;
                if (t == 0)
                    DfuImageStore::ReplaceElements(shared, {{0x0, std::vector<std::uint8_t>(256, 2)}});
                if (STDFUFILES_DestroyImage(&own) != STDFU_NOERROR)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    STDFUFILES_DestroyImage(&shared);
    EXPECT_EQ(DfuImageStore::LiveCount(), liveBefore);
}
