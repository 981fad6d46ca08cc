#include "analysis/hsne/MCV_HsneEmbedLoop.h"

#include "analysis/MCV_ProgressBar.h"

#include "vel/utils/Timer.h"

#include <iostream>

void runHsneEmbedLoop(const std::string& name, const int& iterations, int writeEvery, const bool& running,
                      const std::function<void()>& iterate, const std::function<void()>& write,
                      const std::function<void()>& finish) {
    vel::utils::Timer timer;
    timer.start();
    std::cout << "HSNE: Computing gradient descent..";
    MCV_ProgressBar bar(std::cout, iterations);
    bar.start();

    write();
    for (int i = 0; i < iterations && running;) {
        iterate();
        ++i;
        bar.advance(i, iterations);
        if (i % writeEvery == 0) write();
    }
    write();
    finish();
    timer.stop();

    bar.finish();
    MCV_ProgressBar::separator(std::cout);
    std::cout << "HSNE: Finished embedding of " << name
              << " in: " << static_cast<double>(timer.elapsedMicroseconds()) / 1000 / 1000 << " seconds.";
    MCV_ProgressBar::separator(std::cout);
    std::cout << std::flush;
}
