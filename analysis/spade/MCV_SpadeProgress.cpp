#include "analysis/spade/MCV_SpadeProgress.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

constexpr auto kHookInterval = std::chrono::milliseconds(100);
// Distance terms per block: about 50 ms of the kernel on a few cores.
constexpr double kBlockBudget = 4e8;

}  // namespace

MCV_SpadeProgress::MCV_SpadeProgress(const Hook& hook, std::string what, size_t count, Marks marks)
    : m_hook(hook),
      m_what(std::move(what)),
      m_count(count),
      m_step(std::max<size_t>(1, count / 10)),
      m_marks(marks),
      m_lastReport(std::chrono::steady_clock::now()) {
    if (m_hook) m_hook(m_what, 0);
}

void MCV_SpadeProgress::advance(size_t done) {
    done = std::min(done, m_count);
    if (done <= m_done) return;
    bool printed = false;
    if (m_marks == Marks::AtIndex) {
        // Items m_done .. done - 1 were reached.
        for (size_t k = (m_done + m_step - 1) / m_step * m_step; k < done; k += m_step) {
            std::cout << (k / m_step) * 10 << "%..";
            printed = true;
        }
    } else {
        for (size_t c = (m_done / m_step + 1) * m_step; c <= done; c += m_step) {
            std::cout << static_cast<int>(static_cast<float>(c) / static_cast<float>(m_count) * 100) << "%..";
            printed = true;
        }
    }
    if (printed) std::cout << std::flush;
    m_done = done;
    if (!m_hook) return;
    const auto now = std::chrono::steady_clock::now();
    if (done == m_count || now - m_lastReport >= kHookInterval) {
        m_lastReport = now;
        m_hook(m_what, static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(m_count)));
    }
}

size_t MCV_SpadeProgress::blockSize(double cost, int threads) const {
    const double perBlock = std::floor(kBlockBudget / std::max(1.0, cost));
    const size_t wanted = std::max<size_t>(static_cast<size_t>(std::max(1, threads)),
                                           perBlock > 1e12 ? size_t(1e12) : static_cast<size_t>(perBlock));
    return std::max<size_t>(1, std::min(wanted, m_step));
}
