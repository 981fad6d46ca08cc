#include "analysis/MCV_ProgressBar.h"

#include <algorithm>
#include <string>

MCV_ProgressBar::MCV_ProgressBar(std::ostream& out, int iterations)
    : m_out(out), m_iterations(iterations), m_step(std::max(1, iterations / kCells)) {}

void MCV_ProgressBar::start() { m_out << "[" << std::string(kCells + 1, ' ') << "]" << std::flush; }

void MCV_ProgressBar::advance(int i, int total) {
    if (i < 1 || i % m_step != 0) return;
    // With at least 40 iterations every redraw adds one cell; shorter runs
    // scale so that the last iteration fills the bar.
    int filled = m_iterations >= kCells ? i / m_step : (m_iterations > 0 ? i * kCells / m_iterations : kCells);
    filled = std::min(filled, kCells);
    m_out << "\r[" << std::string(static_cast<size_t>(filled), '=')
          << std::string(static_cast<size_t>(kCells - filled), ' ') << "]"
          << " iteration " << i << "/" << total << std::flush;
}

void MCV_ProgressBar::finish() { m_out << "\r[" << std::string(kCells, '=') << "] done" << std::flush; }

void MCV_ProgressBar::separator(std::ostream& out) { out << "\n" << std::string(80, '=') << "\n"; }
