// Replays saved inputs through a fuzz target when it is built without
// libFuzzer: each argument is a file or a folder of files. Any property
// violation aborts, so CTest sees the failure.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Replay(const std::filesystem::path& path)
{
    const std::vector<uint8_t> bytes = ReadWhole(path);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

size_t ReplayFolder(const std::filesystem::path& folder)
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            count += Replay(entry.path());
        }
    }
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            count += ReplayFolder(path);
        } else if (std::filesystem::exists(path, error)) {
            count += Replay(path);
        }
    }
    std::printf("replayed %zu inputs\n", count);
    // A run that finds nothing to replay proves nothing.
    return count > 0 ? 0 : 1;
}
