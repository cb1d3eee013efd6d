// Runs a harness over every file of the corpus folders it is given, as the fuzzer would,
// without the fuzzer: the normal build replays the corpus this way in the test suite.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER...\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    for (int k = 1; k < argc; ++k) {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(argv[k], ec))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        if (ec || files.empty()) {
            std::fprintf(stderr, "%s: no corpus files\n", argv[k]);
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            std::fprintf(stderr, "%s\n", file.filename().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        }
        std::printf("%zu inputs replayed from %s\n", files.size(), argv[k]);
    }
    return 0;
}
