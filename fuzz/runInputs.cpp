// A plain driver for a fuzz entry point, for builds without libFuzzer: every
// file named, and every regular file below every folder named, is fed to
// LLVMFuzzerTestOneInput once, in a sorted order. A broken promise aborts
// inside the entry point; a path that cannot be read, or no input fed at all,
// fails the run, so a moved corpus is not mistaken for a clean one. The last
// line counts the inputs fed, as they were fed.
//
//   fcs_reader_inputs PATH...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

namespace fs = std::filesystem;

namespace {

bool collect(const fs::path& path, std::vector<fs::path>& files) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        files.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, ec)) {
        std::fprintf(stderr, "%s: neither a file nor a folder\n", path.c_str());
        return false;
    }
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path());
    if (ec) std::fprintf(stderr, "%s: %s\n", path.c_str(), ec.message().c_str());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i)
        if (!collect(argv[i], files)) return 1;
    if (files.empty()) {
        std::fprintf(stderr, "no inputs: name files or folders that hold some\n");
        return 1;
    }
    std::sort(files.begin(), files.end());
    size_t fed = 0, bytes = 0;
    for (const fs::path& file : files) {
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        std::vector<char> data(ec ? 0 : size);
        std::ifstream in(file, std::ios::binary);
        if (ec || !in.read(data.data(), std::streamsize(data.size())) || in.peek() != EOF) {
            std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        ++fed;
        bytes += data.size();
    }
    if (fed == 0) {
        std::fprintf(stderr, "no input was fed to the entry point\n");
        return 1;
    }
    std::printf("%zu inputs (%zu bytes) ran through the entry point\n", fed, bytes);
    return 0;
}
