#pragma once

// A callback interface for analysis tests: records every call in order and
// runs an optional hook inside the call, the way a view's slot runs inside the
// analysis's report (so a hook can stop, restart or delete the analysis).

#include "data/MCV_UiInterface.h"

#include <functional>
#include <string>
#include <vector>

class RecordingUi : public MCV_UiInterface {
public:
    using Hook = std::function<void(void*)>;

    std::vector<std::string> calls;
    Hook onInitialized, onUpdated, onFinished, onReadyForDeletion;

    void dimensionsAdded() override { calls.push_back("dimensionsAdded"); }
    void analysisInitialized(void* a) override { record("analysisInitialized", onInitialized, a); }
    void analysisUpdated(void* a) override { record("analysisUpdated", onUpdated, a); }
    void analysisFinished(void* a) override { record("analysisFinished", onFinished, a); }
    void readyForDeletion(void* a) override { record("readyForDeletion", onReadyForDeletion, a); }
    void newDerivedDataAdded() override { calls.push_back("newDerivedDataAdded"); }
    void dataRefreshed(void*) override { calls.push_back("dataRefreshed"); }
    void selectionRefreshed(void*) override { calls.push_back("selectionRefreshed"); }
    void highlightRefreshed(void*) override { calls.push_back("highlightRefreshed"); }
    void spadeTreeRefreshed(void*) override { calls.push_back("spadeTreeRefreshed"); }
    void analysesRemoved(std::vector<std::string>*) override { calls.push_back("analysesRemoved"); }

    int count(const std::string& what) const {
        int n = 0;
        for (const std::string& c : calls) n += c == what;
        return n;
    }
    // The calls with runs of analysisUpdated folded into "analysisUpdated xN".
    std::vector<std::string> folded() const {
        std::vector<std::string> out;
        int run = 0;
        auto flush = [&]() {
            if (run > 0) out.push_back("analysisUpdated x" + std::to_string(run));
            run = 0;
        };
        for (const std::string& c : calls) {
            if (c == "analysisUpdated") {
                ++run;
                continue;
            }
            flush();
            out.push_back(c);
        }
        flush();
        return out;
    }
    void clear() { calls.clear(); }

private:
    void record(const char* what, const Hook& hook, void* analysis) {
        calls.push_back(what);
        const Hook copy = hook;  // a hook may replace itself
        if (copy) copy(analysis);
    }
};
