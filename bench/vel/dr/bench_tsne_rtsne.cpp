#include "bench_tsne_rtsne.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace benchtsne {

namespace {

// Standard output of a shell command, or nothing when it failed.
bool capture(const std::string& command, std::string& out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[512];
    out.clear();
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    return pclose(pipe) == 0;
}

std::string temporaryPath(const char* stem) {
    std::string path = std::string("/tmp/") + stem + "XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) return std::string();
    close(fd);
    return path;
}

// Arguments: input, output, n, dims, perplexity, theta, iterations, threads.
// Prints the seconds of the Rtsne() call on its last line.
const char* kScript = R"(args <- commandArgs(trailingOnly = TRUE)
n <- as.integer(args[3]); d <- as.integer(args[4])
con <- file(args[1], "rb"); x <- readBin(con, "numeric", n * d, size = 4); close(con)
X <- matrix(x, nrow = n, ncol = d, byrow = TRUE)
set.seed(1)
t0 <- proc.time()[["elapsed"]]
r <- Rtsne::Rtsne(X, dims = 2, perplexity = as.numeric(args[5]), theta = as.numeric(args[6]),
                  max_iter = as.integer(args[7]), num_threads = as.integer(args[8]),
                  pca = FALSE, normalize = FALSE, check_duplicates = FALSE, verbose = FALSE)
t1 <- proc.time()[["elapsed"]]
con <- file(args[2], "wb"); writeBin(as.vector(t(r$Y)), con, size = 4); close(con)
cat(sprintf("%.6f\n", t1 - t0))
)";

}  // namespace

RtsneRun runRtsne(const std::vector<float>& data, unsigned int n, unsigned int dims, double perplexity, double theta,
                  unsigned int iterations, int threads) {
    RtsneRun run;
    std::string out;
    if (std::system("command -v Rscript > /dev/null 2>&1") != 0) {
        run.why = "Rscript is not installed";
        return run;
    }
    if (!capture("Rscript -e 'cat(as.character(packageVersion(\"Rtsne\")))' 2>/dev/null", out) || out.empty()) {
        run.why = "the R package Rtsne is not installed";
        return run;
    }
    run.version = out;
    const std::string input = temporaryPath("bench_tsne_in_"), output = temporaryPath("bench_tsne_out_"),
                      script = temporaryPath("bench_tsne_script_");
    if (input.empty() || output.empty() || script.empty()) {
        run.why = "no temporary files";
        return run;
    }
    {
        std::ofstream file(input, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(static_cast<std::size_t>(n) * dims * sizeof(float)));
        std::ofstream(script) << kScript;
    }
    std::ostringstream command;
    command << "Rscript " << script << ' ' << input << ' ' << output << ' ' << n << ' ' << dims << ' ' << perplexity
            << ' ' << theta << ' ' << iterations << ' ' << threads << " 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const bool ok = capture(command.str(), out);
    run.processSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ok) {
        std::ifstream file(output, std::ios::binary);
        run.embedding.resize(2 * static_cast<std::size_t>(n));
        file.read(reinterpret_cast<char*>(run.embedding.data()),
                  static_cast<std::streamsize>(run.embedding.size() * sizeof(float)));
        const std::size_t lastLine = out.find_last_of('\n', out.size() >= 2 ? out.size() - 2 : 0);
        run.seconds = std::atof(out.c_str() + (lastLine == std::string::npos ? 0 : lastLine + 1));
        run.ran = static_cast<bool>(file) && run.seconds > 0;
        if (!run.ran) run.why = "Rtsne wrote no embedding";
    } else {
        run.why = "Rscript failed: " + out.substr(0, 300);
    }
    std::remove(input.c_str());
    std::remove(output.c_str());
    std::remove(script.c_str());
    return run;
}

}  // namespace benchtsne
