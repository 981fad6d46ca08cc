// The bridge turns each callback into exactly one emission of its own signal,
// delivered before the callback returns (the analyses rely on the views having
// run), carrying the very pointer it was given.
#include "app/UI_Interface.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>

TEST(Bridge, EachCallbackEmitsOnlyItsOwnSignalOnceWithTheSamePointer) {
    using Call = std::function<void(MCV_UiInterface*, void*)>;
    const std::vector<std::pair<const char*, Call>> all = {
        {SIGNAL(dimensionsAddedSignal()), [](MCV_UiInterface* ui, void*) { ui->dimensionsAdded(); }},
        {SIGNAL(analysisInitializedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisInitialized(p); }},
        {SIGNAL(analysisUpdatedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisUpdated(p); }},
        {SIGNAL(analysisFinishedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->analysisFinished(p); }},
        {SIGNAL(readyForDeletionSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->readyForDeletion(p); }},
        {SIGNAL(newDerivedDataAddedSignal()), [](MCV_UiInterface* ui, void*) { ui->newDerivedDataAdded(); }},
        {SIGNAL(dataRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->dataRefreshed(p); }},
        {SIGNAL(selectionRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->selectionRefreshed(p); }},
        {SIGNAL(highlightRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->highlightRefreshed(p); }},
        {SIGNAL(spadeTreeRefreshedSignal(void*)), [](MCV_UiInterface* ui, void* p) { ui->spadeTreeRefreshed(p); }},
        {SIGNAL(analysesRemovedSignal(std::vector<std::string>*)),
         [](MCV_UiInterface* ui, void* p) { ui->analysesRemoved(static_cast<std::vector<std::string>*>(p)); }},
    };
    UI_Interface bridge;
    std::vector<std::string> names = {"a", "b"};
    int payload = 0;
    for (size_t k = 0; k < all.size(); ++k) {
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const auto& c : all) spies.push_back(std::make_unique<QSignalSpy>(&bridge, c.first));
        const bool isNames = k + 1 == all.size();
        void* argument = isNames ? static_cast<void*>(&names) : static_cast<void*>(&payload);
        all[k].second(&bridge, argument);
        for (size_t j = 0; j < all.size(); ++j) {
            ASSERT_TRUE(spies[j]->isValid()) << all[j].first;
            EXPECT_EQ(spies[j]->count(), j == k ? 1 : 0) << "calling " << all[k].first << " reached " << all[j].first;
        }
        if (spies[k]->isEmpty() || spies[k]->at(0).isEmpty()) continue;
        const QVariant v = spies[k]->at(0).at(0);
        EXPECT_EQ(isNames ? static_cast<void*>(v.value<std::vector<std::string>*>()) : v.value<void*>(), argument)
            << all[k].first;
    }
}
