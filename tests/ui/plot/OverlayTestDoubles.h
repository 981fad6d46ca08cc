#pragma once
// Stand-ins for the analyses the embedding overlay controls: an analysis of a
// chosen type code and an embedding control that records what it is asked.

#include "analysis/MCV_Analysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/plot/UI_EmbeddingControl.h"

#include <string>
#include <vector>

class TypedAnalysis : public MCV_Analysis {
public:
    explicit TypedAnalysis(int type) { m_type = type; }
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
    void selectMarkers(std::vector<unsigned> markers) { m_selectedMarkers = std::move(markers); }
};

// A point subset that reports a chosen data kind (5 stands for image data).
class KindedPoints : public MCV_DerivedDataPoints {
public:
    explicit KindedPoints(int kind) { m_type = kind; }
};

struct ControlLog {
    int iterations = 1000;
    int exaggerationIter = 250;
    int expDecay = 70;
    bool running = false;
    std::vector<std::string> calls;
};

class RecordingControl : public UI_EmbeddingControl {
public:
    explicit RecordingControl(ControlLog* log) : m_log(log) {}
    int iterations() const override { return m_log->iterations; }
    int exaggerationIter() const override { return m_log->exaggerationIter; }
    int expDecay() const override { return m_log->expDecay; }
    bool running() const override { return m_log->running; }
    void setIterations(int v) override { m_log->calls.push_back("setIterations " + std::to_string(v)); }
    void setExaggerationIter(int v) override { m_log->calls.push_back("setExaggerationIter " + std::to_string(v)); }
    void setExpDecay(int v) override { m_log->calls.push_back("setExpDecay " + std::to_string(v)); }
    void stopGradientDescent() override { m_log->calls.push_back("stop"); }
    void embed() override { m_log->calls.push_back("embed"); }
    void restart() override { m_log->calls.push_back("restart"); }

private:
    ControlLog* m_log;
};
