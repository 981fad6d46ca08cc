#include "analysis/template/MCV_TemplateAnalysis.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"

#include <iostream>

MCV_TemplateAnalysis::MCV_TemplateAnalysis() { m_type = ANALYSIS_SPADE; }

MCV_TemplateAnalysis::~MCV_TemplateAnalysis() = default;

void MCV_TemplateAnalysis::init(MCV_UiInterface* ui, std::string name, std::vector<std::vector<float>> templates) {
    m_name = std::move(name);
    createDerivedData(false);
    m_templates = std::move(templates);
    MCV_Analysis::init(ui, m_name);
}

// Placeholder until the classification lands.
bool MCV_TemplateAnalysis::upsampleData() { return true; }

void MCV_TemplateAnalysis::createDerivedData(bool reuse) {
    std::cout << "Updating Clusters.\n";
    m_result.publish(m_name, reuse, m_dataSelection);
}

MCV_DerivedDataClusters* MCV_TemplateAnalysis::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return MCV_CytometryData::Instance()->derivedDataClusters(m_name, true);
}
