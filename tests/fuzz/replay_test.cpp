// The fuzzer's kept inputs, replayed in the normal test run (and under the sanitizers there):
// the corpus as one test, every input that once crashed or misbehaved as a test of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/host_calls.h"
#include "support/test_host.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const char* directory) {
    std::vector<std::string> files;
    if (fs::is_directory(directory)) {
        for (const fs::directory_entry& file : fs::directory_iterator(directory)) {
            // Dot files (.gitkeep) keep an empty directory in the repository; they are no inputs.
            if (file.is_regular_file() && file.path().filename().string()[0] != '.') {
                files.push_back(file.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void replay(const LoadedModule& module, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    host_calls::run(module.entry(), data.data(), data.size());
}

TEST(FuzzCorpus, EveryKeptInputRunsWithoutFault) {
    const std::vector<std::string> files = filesIn(TINVOICER_FUZZ_CORPUS_DIR);
    ASSERT_FALSE(files.empty()) << "no corpus in " << TINVOICER_FUZZ_CORPUS_DIR;
    LoadedModule module;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        replay(module, file);
    }
}

class FuzzRegression : public testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, InputThatOnceFailedRunsWithoutFault) {
    LoadedModule module;
    replay(module, GetParam());
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).stem().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Crashes, FuzzRegression, testing::ValuesIn(filesIn(TINVOICER_FUZZ_CRASHES_DIR)), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

}  // namespace
