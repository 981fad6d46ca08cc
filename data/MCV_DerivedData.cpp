#include "data/MCV_DerivedData.h"

#include "data/MCV_UiInterface.h"

MCV_DerivedData::MCV_DerivedData() : m_created(std::chrono::steady_clock::now()) {}

MCV_DerivedData::~MCV_DerivedData() = default;

void MCV_DerivedData::addDependentDataset(MCV_DerivedData* dependent) { m_dependents.push_back(dependent); }

void MCV_DerivedData::refreshed(void* source) {
    if (!m_ui) return;
    m_refreshSource = source;
    m_ui->dataRefreshed(this);
    // Index loop: a receiver may add dependents while we announce.
    for (size_t i = 0; i < m_dependents.size(); ++i)
        if (m_dependents[i]) m_dependents[i]->MCV_DerivedData::refreshed(source);
}
