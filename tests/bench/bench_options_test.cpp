#include "bench/bench_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tembrel::bench {
namespace {

std::optional<Options> parse(const std::vector<std::string>& args) {
    return parseArguments(args, "/clips");
}

TEST(BenchOptions, ConfigurationsParseWholeAndPositive) {
    EXPECT_EQ(parseConfig("22050m24"), (Config{22050, 1, 24}));
    EXPECT_EQ(parseConfig("44100s96"), (Config{44100, 2, 96}));
    EXPECT_EQ(parseConfig("44100s96")->name(), "44100s96");
    for (const char* bad : {"", "22050", "22050x24", "22050m", "m24", "22050m24x", "22050m24,",
                            "0m8", "8000m0", "8000m-8", "-8000m8", "8000 m8", "8000ms8"})
        EXPECT_FALSE(parseConfig(bad).has_value()) << bad;
    // Every configuration the table runs by default reads back from its name.
    for (const Config& config : allConfigs())
        EXPECT_EQ(parseConfig(config.name()), config);
}

TEST(BenchOptions, DefaultsAndConfigurationLists) {
    const auto defaults = parse({});
    ASSERT_TRUE(defaults.has_value());
    EXPECT_EQ(defaults->clips, "/clips");
    EXPECT_EQ(defaults->runs, 3);
    EXPECT_TRUE(defaults->lame);
    EXPECT_FALSE(defaults->opus);
    EXPECT_FALSE(defaults->hashes);
    EXPECT_EQ(defaults->configs, allConfigs());
    EXPECT_TRUE(parse({"--hashes", "--only", "speech"})->hashes);

    const auto some = parse({"--configs", "8000m8,44100s96", "--runs", "1", "--clips", "/x"});
    ASSERT_TRUE(some.has_value());
    EXPECT_EQ(some->configs, (std::vector<Config>{{8000, 1, 8}, {44100, 2, 96}}));
    EXPECT_EQ(some->runs, 1);
    EXPECT_EQ(some->clips, "/x");

    // A bad entry anywhere in the list, an empty one, a bad run count, a missing value
    // and an unknown option all refuse the command line.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--configs", "8000m8,,44100s96"},
          {"--configs", "8000m8,"},
          {"--configs", "8000m8,44100q96"},
          {"--runs", "0"},
          {"--runs", "three"},
          {"--configs"},
          {"--fast"}})
        EXPECT_FALSE(parse(bad).has_value()) << bad.front() << " " << bad.back();
}

TEST(BenchOptions, LameBitRateOverrideAndOpus) {
    const auto plain = parse({"--configs", "22050m24,44100s96"});
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->lameKbpsFor(plain->configs[0]), 24);
    EXPECT_EQ(plain->lameKbpsFor(plain->configs[1]), 96);

    const auto raised = parse({"--configs", "22050m24,44100s96", "--lame-kbps", "128", "--opus"});
    ASSERT_TRUE(raised.has_value());
    EXPECT_EQ(raised->lameKbps, 128);
    EXPECT_EQ(raised->lameKbpsFor(raised->configs[0]), 128);
    EXPECT_EQ(raised->lameKbpsFor(raised->configs[1]), 128);
    EXPECT_TRUE(raised->opus);
    // The configurations themselves, and so our codec and Opus, keep their own rates.
    EXPECT_EQ(raised->configs[1].kbps, 96);

    for (const char* bad : {"0", "-128", "7", "321", "128k", ""})
        EXPECT_FALSE(parse({"--lame-kbps", bad}).has_value()) << bad;
    EXPECT_FALSE(parse({"--lame-kbps"}).has_value());
}

TEST(BenchOptions, OneTakesAConfigurationAClipAndAnOutput) {
    const auto one = parse({"--opus", "--one", "16000s32", "in.wav", "out.wav", "--no-lame"});
    ASSERT_TRUE(one.has_value());
    EXPECT_TRUE(one->one);
    EXPECT_TRUE(one->opus);
    EXPECT_FALSE(one->lame);
    EXPECT_EQ(one->configs, (std::vector<Config>{{16000, 2, 32}}));
    EXPECT_EQ(one->oneClip, "in.wav");
    EXPECT_EQ(one->oneOut, "out.wav");
    EXPECT_FALSE(parse({"--one", "16000s32", "in.wav"}).has_value());
    EXPECT_FALSE(parse({"--one", "16000z32", "in.wav", "out.wav"}).has_value());
}

}  // namespace
}  // namespace tembrel::bench
