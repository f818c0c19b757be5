// Every file of every fuzz corpus (fuzz/corpus/<target>/), seeds and past
// findings alike, run through the check its fuzz target runs.
#include "../../fuzz/checks/Targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path corpusRoot = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus";

struct CorpusFile {
    const fuzzcheck::Target *target;
    fs::path path;
};

std::vector<CorpusFile> corpusFiles()
{
    std::vector<CorpusFile> files;
    for (const auto &target : fuzzcheck::kTargets) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(corpusRoot / target.name, ec))
            if (entry.is_regular_file()) files.push_back({&target, entry.path()});
    }
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) { return a.path < b.path; });
    return files;
}

class Corpus : public ::testing::TestWithParam<CorpusFile> {};

}  // namespace

TEST(CorpusFolders, EveryTargetHasSeeds)
{
    const auto files = corpusFiles();
    for (const auto &target : fuzzcheck::kTargets) {
        const auto seeds =
            std::count_if(files.begin(), files.end(), [&](const auto &file) { return file.target == &target; });
        EXPECT_GE(seeds, 3) << "fuzz/corpus/" << target.name;
    }
}

TEST_P(Corpus, HoldsEveryProperty)
{
    std::ifstream in(GetParam().path, std::ios::binary);
    ASSERT_TRUE(in) << GetParam().path;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        GetParam().target->check(bytes);
    } catch (const std::exception &failure) {
        ADD_FAILURE() << GetParam().path << ": " << failure.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(corpusFiles()), [](const auto &info) {
    std::string name = std::string(info.param.target->name) + "_" + info.param.path.filename().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});
