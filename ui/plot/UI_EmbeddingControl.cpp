#include "UI_EmbeddingControl.h"

#include "analysis/MCV_Analysis.h"

#include <map>

namespace {

std::map<int, UI_EmbeddingControl::Factory>& factories() {
    static std::map<int, UI_EmbeddingControl::Factory> registry;
    return registry;
}

}  // namespace

UI_EmbeddingControl::~UI_EmbeddingControl() = default;

void UI_EmbeddingControl::registerType(int typeCode, Factory factory) {
    if (factory)
        factories()[typeCode] = std::move(factory);
    else
        factories().erase(typeCode);
}

std::unique_ptr<UI_EmbeddingControl> UI_EmbeddingControl::create(MCV_Analysis* analysis) {
    if (!analysis) return nullptr;
    auto it = factories().find(analysis->type());
    if (it == factories().end()) return nullptr;
    return it->second(analysis);
}
