#include "device/dfu/dfu_files_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace DfuFileFormat {
namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void Bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }

private:
    std::vector<std::uint8_t>& out_;
};

// A cursor over [begin, end) of the file that never moves past `end`: every
// read first checks that the bytes are there.
class ByteReader {
public:
    ByteReader(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end)
        : file_(file), pos_(begin), end_(end) {}

    std::size_t Pos() const { return pos_; }
    std::size_t Remaining() const { return end_ - pos_; }

    bool U8(std::uint8_t& v) {
        if (Remaining() < 1)
            return false;
        v = file_[pos_++];
        return true;
    }
    bool U16(std::uint16_t& v) {
        if (Remaining() < 2)
            return false;
        v = static_cast<std::uint16_t>(file_[pos_] | (file_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint16_t low = 0, high = 0;
        if (Remaining() < 4 || !U16(low) || !U16(high))
            return false;
        v = static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16);
        return true;
    }
    bool Bytes(std::size_t size, std::span<const std::uint8_t>& out) {
        if (Remaining() < size)
            return false;
        out = file_.subspan(pos_, size);
        pos_ += size;
        return true;
    }

private:
    std::span<const std::uint8_t> file_;
    std::size_t pos_;
    std::size_t end_;
};

std::uint64_t ElementsByteLength(const DfuImageData& image) {
    std::uint64_t total = 0;
    for (const auto& e : image.elements)
        total += kElementHeaderSize + e.data.size();
    return total;
}

std::uint64_t ImageByteLength(const DfuImageData& image) {
    return kImageHeaderSize + image.name.size() + ElementsByteLength(image);
}

bool Fail(DfuFileParse& result, std::size_t offset, std::string error) {
    result.ok = false;
    result.errorOffset = offset;
    result.error = std::move(error);
    return false;
}

bool ReadSuffix(std::span<const std::uint8_t> bytes, DfuFileParse& result) {
    if (bytes.size() < kSuffixSize)
        return Fail(result, 0, "file is shorter than the 16-byte suffix");
    const std::size_t start = bytes.size() - kSuffixSize;
    ByteReader r(bytes, start, bytes.size());
    DfuFileSuffix& s = result.suffix;
    std::span<const std::uint8_t> signature;
    r.U16(s.bcdDevice);
    r.U16(s.idProduct);
    r.U16(s.idVendor);
    r.U16(s.bcdDFU);
    r.Bytes(3, signature);
    std::memcpy(s.signature, signature.data(), 3);
    r.U8(s.length);
    r.U32(s.crc);
    result.suffixRead = true;
    result.computedCrc = Crc(bytes.first(bytes.size() - 4));

    if (s.bcdDFU != kBcdDfu)
        return Fail(result, start + 6, "suffix bcdDFU is not 0x0100");
    if (std::memcmp(s.signature, "UFD", 3) != 0)
        return Fail(result, start + 8, "suffix signature is not \"UFD\"");
    if (s.length != kSuffixSize)
        return Fail(result, start + 11, "suffix length is not 16");
    if (s.crc != result.computedCrc)
        return Fail(result, start + 12, "CRC does not match the file's bytes");
    result.contents.bcdDevice = s.bcdDevice;
    result.contents.productId = s.idProduct;
    result.contents.vendorId = s.idVendor;
    return true;
}

bool ReadElement(ByteReader& r, DfuImageElementData& element, DfuFileParse& result) {
    const std::size_t start = r.Pos();
    std::uint32_t size = 0;
    std::span<const std::uint8_t> data;
    if (!r.U32(element.address) || !r.U32(size))
        return Fail(result, start, "element header runs past its image");
    if (!r.Bytes(size, data))
        return Fail(result, start + 4, "element data run past its image");
    element.data.assign(data.begin(), data.end());
    return true;
}

bool ReadImage(ByteReader& r, std::span<const std::uint8_t> bytes, DfuImageData& image,
               DfuFileParse& result) {
    const std::size_t start = r.Pos();
    std::uint8_t nameLength = 0;
    std::span<const std::uint8_t> name;
    if (!r.U8(image.alternateSetting) || !r.U8(nameLength))
        return Fail(result, start, "image header runs past the images");
    if (!r.Bytes(nameLength, name))
        return Fail(result, start + 1, "image name runs past the images");
    if (std::find(name.begin(), name.end(), 0) != name.end())
        return Fail(result, start + 2, "image name contains a NUL byte");
    image.name.assign(name.begin(), name.end());

    const std::size_t countOffset = r.Pos();
    std::uint32_t count = 0, elementsLength = 0;
    if (!r.U32(count) || !r.U32(elementsLength))
        return Fail(result, countOffset, "image header runs past the images");
    if (elementsLength > r.Remaining())
        return Fail(result, countOffset + 4, "elements byte length runs past the images");
    // Checked before anything is reserved: a forged count must not make the
    // reader allocate more than the file could hold.
    if (count > elementsLength / kElementHeaderSize)
        return Fail(result, countOffset, "element count does not fit the elements byte length");

    ByteReader elements(bytes, r.Pos(), r.Pos() + elementsLength);
    image.elements.resize(count);
    for (auto& element : image.elements) {
        if (!ReadElement(elements, element, result))
            return false;
    }
    if (elements.Remaining() != 0)
        return Fail(result, elements.Pos(), "bytes left over after the image's elements");
    std::span<const std::uint8_t> skipped;
    r.Bytes(elementsLength, skipped);
    return true;
}

}  // namespace

std::uint32_t Crc(std::span<const std::uint8_t> bytes) {
    static const auto table = MakeCrcTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFFu] ^ (crc >> 8);
    return crc;
}

std::string ImageProblem(const DfuImageData& image) {
    if (image.name.size() > kMaxNameLength)
        return "image name is longer than 255 bytes";
    if (image.name.find('\0') != std::string::npos)
        return "image name contains a NUL byte";
    if (image.elements.size() > kMaxU32 || ElementsByteLength(image) > kMaxU32)
        return "image elements do not fit in 4 GiB";
    return {};
}

bool FitsFormat(const DfuFileContents& contents) {
    if (contents.images.size() > kMaxImages)
        return false;
    std::uint64_t imagesLength = 0;
    for (const auto& image : contents.images) {
        if (!ImageProblem(image).empty())
            return false;
        imagesLength += ImageByteLength(image);
    }
    return imagesLength <= kMaxU32;
}

bool Serialize(const DfuFileContents& contents, std::vector<std::uint8_t>& out) {
    if (!FitsFormat(contents))
        return false;
    std::uint64_t imagesLength = 0;
    for (const auto& image : contents.images)
        imagesLength += ImageByteLength(image);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kPrefixSize + imagesLength + kSuffixSize);
    ByteWriter w(bytes);
    w.Bytes(kSignature, sizeof kSignature);
    w.U8(kVersion);
    w.U32(static_cast<std::uint32_t>(imagesLength));
    w.U8(static_cast<std::uint8_t>(contents.images.size()));
    for (const auto& image : contents.images) {
        w.U8(image.alternateSetting);
        w.U8(static_cast<std::uint8_t>(image.name.size()));
        w.Bytes(image.name.data(), image.name.size());
        w.U32(static_cast<std::uint32_t>(image.elements.size()));
        w.U32(static_cast<std::uint32_t>(ElementsByteLength(image)));
        for (const auto& element : image.elements) {
            w.U32(element.address);
            w.U32(static_cast<std::uint32_t>(element.data.size()));
            w.Bytes(element.data.data(), element.data.size());
        }
    }
    w.U16(contents.bcdDevice);
    w.U16(contents.productId);
    w.U16(contents.vendorId);
    w.U16(kBcdDfu);
    w.Bytes("UFD", 3);
    w.U8(static_cast<std::uint8_t>(kSuffixSize));
    w.U32(Crc(bytes));
    out = std::move(bytes);
    return true;
}

DfuFileParse Parse(std::span<const std::uint8_t> bytes) {
    DfuFileParse result;
    if (!ReadSuffix(bytes, result))
        return result;
    if (bytes.size() < kPrefixSize + kSuffixSize) {
        Fail(result, 0, "file is shorter than prefix and suffix");
        return result;
    }

    const std::size_t imagesEnd = bytes.size() - kSuffixSize;
    ByteReader prefix(bytes, 0, kPrefixSize);
    std::span<const std::uint8_t> signature;
    std::uint8_t version = 0, imageCount = 0;
    std::uint32_t imagesLength = 0;
    prefix.Bytes(sizeof kSignature, signature);
    prefix.U8(version);
    prefix.U32(imagesLength);
    prefix.U8(imageCount);
    if (!std::equal(signature.begin(), signature.end(), kSignature)) {
        Fail(result, 0, "file does not start with the \"OrvoDFU\" signature");
        return result;
    }
    if (version != kVersion) {
        Fail(result, 8, "unknown format version");
        return result;
    }
    if (imagesLength != imagesEnd - kPrefixSize) {
        Fail(result, 9, "images byte length does not match the file size");
        return result;
    }

    ByteReader images(bytes, kPrefixSize, imagesEnd);
    result.contents.images.resize(imageCount);
    for (auto& image : result.contents.images) {
        if (!ReadImage(images, bytes, image, result))
            return result;
    }
    if (images.Remaining() != 0) {
        Fail(result, images.Pos(), "bytes left over after the last image");
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace DfuFileFormat
