#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "database_generator.h"
#include "reference_conversion.h"

namespace {

struct Case {
    std::size_t records;
    RecordOrder order;
    bool rough;  // CR/LF sprinkled in and invalid records mixed in
};

std::string Name(const Case& c) {
    const char* orders[] = {"random", "ascending", "descending", "equal"};
    return std::to_string(c.records) + "_" + orders[static_cast<int>(c.order)] + (c.rough ? "_rough" : "");
}

class AgainstReference : public ::testing::TestWithParam<Case> {};

TEST_P(AgainstReference, PackedBytesAreIdentical) {
    const Case c = GetParam();
    DatabaseGeneratorOptions options;
    options.records = c.records;
    options.order = c.order;
    options.seed = 1000 + c.records;
    std::string text = GenerateDatabaseText(options);
    if (c.rough)
        text = Roughen(text, options.seed);

    const ReferenceResult expected = ReferenceConvert(text);
    TempFolder folder;
    const ProductRun actual = ConvertText(folder, text);
    EXPECT_EQ(actual.result, expected.result);
    EXPECT_EQ(actual.packedExists, !expected.packed.empty());
    ASSERT_EQ(actual.packed.size(), expected.packed.size());
    EXPECT_TRUE(actual.packed == expected.packed) << "packed databases differ";
    EXPECT_TRUE(BufferFilesIn(folder.Path()).empty());
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    // Around the split depth, a buffer file's capacity, and several files.
    for (std::size_t records : {0u, 1u, 2u, 101u, 102u, 103u, 5001u, 5002u, 5003u, 12345u})
        for (RecordOrder order : {RecordOrder::Random, RecordOrder::Ascending, RecordOrder::Descending,
                                  RecordOrder::EqualKeys})
            for (bool rough : {false, true})
                cases.push_back({records, order, rough});
    // Past the last buffer file: the big ones, once each.
    cases.push_back({150200, RecordOrder::Random, true});
    cases.push_back({150100, RecordOrder::EqualKeys, true});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Generated, AgainstReference, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& tested) { return Name(tested.param); });

// Arbitrary bytes: every key and value range, records of every length.
// The conversion runs on one thread: under ThreadSanitizer, where each seed
// takes seven times as long and finds nothing more, a fifth of them run.
#if defined(__SANITIZE_THREAD__)
constexpr std::uint64_t ArbitrarySeeds = 8;
#else
constexpr std::uint64_t ArbitrarySeeds = 40;
#endif

TEST(AgainstReferenceArbitrary, RandomBytesConvertIdentically) {
    for (std::uint64_t seed = 1; seed <= ArbitrarySeeds; ++seed) {
        std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return state;
        };
        std::string text;
        const std::size_t size = next() % 20000;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint64_t r = next();
            // Mostly whole records so that many are valid.
            text += (r % 14 == 0) ? '\0' : static_cast<char>(1 + (r >> 8) % 255);
        }
        const ReferenceResult expected = ReferenceConvert(text);
        TempFolder folder;
        const ProductRun actual = ConvertText(folder, text);
        EXPECT_EQ(actual.result, expected.result) << "seed " << seed;
        EXPECT_TRUE(actual.packed == expected.packed) << "seed " << seed;
    }
}

}  // namespace
