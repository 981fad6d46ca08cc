// write_under_size_limit FOLDER LIMIT
// Starts as the program does, under a file-size limit of LIMIT bytes, and
// then writes past it with each kind of the program's writers over the files
// FOLDER/old.fcs, old.bin, old.csv, old.hsne and old.mp4 (the data come from
// FOLDER/in.fcs). Prints one line a writer, "= <writer>: written" or
// "= <writer>: failed" with ", File too large" when the failure said so; a
// process that the limit ends prints none after it.
#include "analysis/hsne/MCV_CacheFileWriter.h"
#include "app/startApplication.h"
#include "data/MCV_CytometryData.h"
#include "render/MCV_VideoWriter.h"
#include "ui/base/writeWholeFile.h"

#include <QApplication>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

// What standard output (fd 1) or error (2) received while `f` ran; through a
// pipe, which no file-size limit touches. The writers print a few lines, far
// less than a pipe holds.
std::string printed(int fd, const std::function<void()>& f) {
    std::fflush(nullptr);
    std::cout.flush();
    int channel[2];
    if (::pipe(channel) != 0) return std::string();
    const int saved = ::dup(fd);
    ::dup2(channel[1], fd);
    ::close(channel[1]);
    f();
    std::fflush(nullptr);
    std::cout.flush();
    std::cerr.flush();
    ::dup2(saved, fd);
    ::close(saved);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    return text;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_under_size_limit FOLDER LIMIT\n");
        return 2;
    }
    const std::string folder = argv[1];
    const rlim_t limit = std::strtoull(argv[2], nullptr, 10);
    rlimit limits{};
    if (::getrlimit(RLIMIT_FSIZE, &limits) != 0) return 2;
    limits.rlim_cur = limit;
    if (::setrlimit(RLIMIT_FSIZE, &limits) != 0) return 2;

    startApplication();

    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(nullptr);
    if (data->loadFromFile(folder + "/in.fcs") != 0) return 3;
    data->initAllDerviedDataPointer();
    const std::string large(3 * limit, 'x');
    // Noise, which no encoder packs into the limit.
    std::vector<std::vector<unsigned char>> frames(16, std::vector<unsigned char>(64 * 48 * 3));
    std::mt19937 random(1);
    for (auto& frame : frames)
        for (auto& byte : frame) byte = static_cast<unsigned char>(random());

    // Each writer's write, giving what it said when it failed, empty when it
    // wrote the file.
    const struct {
        const char* name;
        const char* file;
        std::function<std::string(const std::string& path)> write;
    } writers[] = {
        {"FCS export", "old.fcs",
         [&](const std::string& path) {
             int result = -1;
             const std::string said = printed(1, [&] { result = data->writeToFile("All Points", path, 0, nullptr); });
             return result == 0 ? std::string() : said;
         }},
        {"binary export", "old.bin",
         [&](const std::string& path) {
             std::vector<int> markers = {0, 1, 2};
             int result = -1;
             const std::string said = printed(1, [&] { result = data->writeToFile("All Points", path, 0, &markers); });
             return result == 1 ? std::string() : said;
         }},
        {"text writer", "old.csv",
         [&](const std::string& path) {
             QString why;
             const bool written = writeWholeFile(QString::fromStdString(path), QByteArray::fromStdString(large), &why);
             return written ? std::string() : why.toStdString();
         }},
        {"cache", "old.hsne",
         [&](const std::string& path) {
             MCV_CacheFileWriter cache(path);
             std::ostream out(&cache);
             out.write(large.data(), static_cast<std::streamsize>(large.size()));
             return cache.commit() ? std::string() : cache.problem();
         }},
        {"video", "old.mp4",
         [&](const std::string& path) {
             MCV_VideoWriter video;
             video.setData(frames, 64, 48, 4000000, 25);
             int result = -1;
             const std::string said = printed(2, [&] { result = video.writeToFile(path); });
             return result == 0 ? std::string() : said;
         }},
    };
    for (const auto& w : writers) {
        const std::string said = w.write(folder + "/" + w.file);
        // On a line of its own, whatever the writer left unfinished.
        std::cout << "\n= " << w.name << ": " << (said.empty() ? "written" : "failed")
                  << (said.find("File too large") != std::string::npos ? ", File too large" : "") << std::endl;
    }
    delete MCV_CytometryData::Instance();
    return 0;
}
