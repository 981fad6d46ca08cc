// The bridge must turn each of the eleven callbacks into exactly one emission
// of its own signal, carrying the very pointer it was given.
#include "app/UI_Interface.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct Case {
    const char* signal;
    std::function<void(MCV_UiInterface*, void*)> call;
    bool hasPointer;
};

std::vector<Case> cases() {
    return {
        {SIGNAL(dimensionsAddedSignal()), [](MCV_UiInterface* ui, void*) { ui->dimensionsAdded(); }, false},
        {SIGNAL(analysisInitializedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisInitialized(p); },
         true},
        {SIGNAL(analysisUpdatedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisUpdated(p); }, true},
        {SIGNAL(analysisFinishedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisFinished(p); }, true},
        {SIGNAL(readyForDeletionSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->readyForDeletion(p); }, true},
        {SIGNAL(newDerivedDataAddedSignal()), [](MCV_UiInterface* ui, void*) { ui->newDerivedDataAdded(); }, false},
        {SIGNAL(dataRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->dataRefreshed(p); }, true},
        {SIGNAL(selectionRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->selectionRefreshed(p); },
         true},
        {SIGNAL(highlightRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->highlightRefreshed(p); },
         true},
        {SIGNAL(spadeTreeRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->spadeTreeRefreshed(p); },
         true},
        {SIGNAL(analysesRemovedSignal(std::vector<std::string>*)),
         [](MCV_UiInterface* ui, void* p) { ui->analysesRemoved(static_cast<std::vector<std::string>*>(p)); }, true},
    };
}

}  // namespace

TEST(Bridge, EachCallbackEmitsOnlyItsOwnSignalOnceWithTheSamePointer) {
    UI_Interface bridge;
    std::vector<std::string> names = {"a", "b"};
    int payload = 0;
    const std::vector<Case> all = cases();
    ASSERT_EQ(all.size(), 11u);

    for (size_t k = 0; k < all.size(); ++k) {
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const Case& c : all) spies.push_back(std::make_unique<QSignalSpy>(&bridge, c.signal));
        void* argument = (k == 10) ? static_cast<void*>(&names) : static_cast<void*>(&payload);
        all[k].call(&bridge, argument);
        for (size_t j = 0; j < all.size(); ++j) {
            ASSERT_TRUE(spies[j]->isValid()) << all[j].signal;
            EXPECT_EQ(spies[j]->count(), j == k ? 1 : 0) << "calling " << all[k].signal << " reached " << all[j].signal;
        }
        if (all[k].hasPointer) {
            const QVariant v = spies[k]->at(0).at(0);
            const void* got = (k == 10) ? static_cast<void*>(v.value<std::vector<std::string>*>()) : v.value<void*>();
            EXPECT_EQ(got, argument) << all[k].signal;
        }
    }
}

TEST(Bridge, ReceiversRunInsideTheCallback) {
    // The analyses rely on views having run before the callback returns.
    UI_Interface bridge;
    int seen = 0;
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&seen](void*) { ++seen; });
    static_cast<MCV_UiInterface&>(bridge).analysisUpdated(nullptr);
    EXPECT_EQ(seen, 1);
}
