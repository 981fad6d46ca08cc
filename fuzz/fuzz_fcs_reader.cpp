// Fuzz entry point for the FCS reader: every input is written to a file and
// loaded. Any crash, sanitizer report or broken promise (a matrix handed back
// with an error code, or none with success) is a finding. libFuzzer drives it
// (fuzz_fcs_reader CORPUS_DIR -max_total_time=240), and so does the plain
// driver of runInputs.cpp, once per file.

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"
#include "data/MCV_Messages.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

// One file per fuzzing process, removed after each input: libFuzzer ends its
// processes without running destructors.
const std::string& inputPath() {
    static const std::string path = "/tmp/fuzz_fcs_reader_" + std::to_string(getpid()) + ".fcs";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    // The NaN/infinity warning would flood the fuzzer's output.
    static const bool quiet = [] {
        std::cout.rdbuf(nullptr);
        return true;
    }();
    (void)quiet;

    FILE* f = std::fopen(inputPath().c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(bytes, 1, size, f) != size) std::abort();
    std::fclose(f);

    MCV_FcsHeader header(nullptr);
    header.setFileName(inputPath());
    MCV_FcsLoader loader;
    loader.init();
    float sentinel = 0.0f;
    float* data = &sentinel;
    const int code = loader.loadFromFile(&data, &header);

    if (code < 0 || code > MCV_LoadCode::LastError) std::abort();
    if ((code == 0) != (data != &sentinel)) std::abort();
    if (code == 0) {
        if (header.numEvents() < 0 || header.numVariables() < 1) std::abort();
        if (header.markerList(0)->size() != static_cast<size_t>(header.numVariables())) std::abort();
        // Touch every value: a matrix shorter than promised shows up here.
        const size_t n = static_cast<size_t>(header.numEvents()) * static_cast<size_t>(header.numVariables());
        volatile float sum = 0.0f;
        for (size_t i = 0; i < n; ++i) sum = sum + data[i];
        delete[] data;
    }
    (void)loader.fetchValueForKey("$TOT");
    (void)loader.textHeader();
    (void)header.printHeader();
    std::remove(inputPath().c_str());
    return 0;
}
