#pragma once

// Records every call of the callback interface (ours, not a Qt class) in
// order, and runs an optional hook inside the analysis calls the way a view's
// slot runs inside the report (so a hook can stop, restart or delete the
// analysis).

#include "data/MCV_UiInterface.h"

#include <functional>
#include <string>
#include <vector>

class CallbackLog : public MCV_UiInterface {
public:
    struct Call {
        std::string what;
        void* arg;
    };
    using Hook = std::function<void(void*)>;

    std::vector<Call> calls;
    Hook onInitialized, onUpdated, onFinished, onReadyForDeletion;

    void dimensionsAdded() override { add("dimensionsAdded", nullptr); }
    void analysisInitialized(void* a) override { add("analysisInitialized", a, onInitialized); }
    void analysisUpdated(void* a) override { add("analysisUpdated", a, onUpdated); }
    void analysisFinished(void* a) override { add("analysisFinished", a, onFinished); }
    void readyForDeletion(void* a) override { add("readyForDeletion", a, onReadyForDeletion); }
    void newDerivedDataAdded() override { add("newDerivedDataAdded", nullptr); }
    void dataRefreshed(void* d) override { add("dataRefreshed", d); }
    void selectionRefreshed(void* d) override { add("selectionRefreshed", d); }
    void highlightRefreshed(void* d) override { add("highlightRefreshed", d); }
    void spadeTreeRefreshed(void* d) override { add("spadeTreeRefreshed", d); }
    void analysesRemoved(std::vector<std::string>* names) override {
        removedNames.push_back(names ? *names : std::vector<std::string>());
        add("analysesRemoved", nullptr);
    }
    std::vector<std::vector<std::string>> removedNames;  // per analysesRemoved call

    // Calls named `what`, with argument `arg` unless it is `any`.
    int count(const std::string& what, const void* arg = &any) const {
        int n = 0;
        for (const Call& c : calls) n += c.what == what && (arg == &any || c.arg == arg);
        return n;
    }
    static inline const char any = 0;
    // The calls by name, runs of analysisUpdated folded into "analysisUpdated xN".
    std::vector<std::string> folded() const {
        std::vector<std::string> out;
        int run = 0;
        for (size_t i = 0; i <= calls.size(); ++i) {
            if (i < calls.size() && calls[i].what == "analysisUpdated") {
                ++run;
                continue;
            }
            if (run > 0) out.push_back("analysisUpdated x" + std::to_string(run));
            run = 0;
            if (i < calls.size()) out.push_back(calls[i].what);
        }
        return out;
    }
    void clear() {
        calls.clear();
        removedNames.clear();
    }

private:
    void add(const char* what, void* arg, const Hook& hook = nullptr) {
        calls.push_back({what, arg});
        const Hook copy = hook;  // a hook may replace itself
        if (copy) copy(arg);
    }
};
