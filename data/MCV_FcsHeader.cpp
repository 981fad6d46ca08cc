#include "data/MCV_FcsHeader.h"

#include <cassert>
#include <sstream>

MCV_FcsHeader::MCV_FcsHeader(MCV_FcsHeader* other) {
    if (!other) return;
    m_fileName = other->m_fileName;
    m_fcsVersion = other->m_fcsVersion;
    m_numEvents = other->m_numEvents;
    m_markerLists[0] = other->m_markerLists[0];
    m_markerLists[1] = other->m_markerLists[1];
    m_variables = other->m_variables;
    m_startTime = other->m_startTime;
    m_stopTime = other->m_stopTime;
    m_cytometry = other->m_cytometry;
    m_date = other->m_date;
    m_byteOrder = other->m_byteOrder;
    m_dataType = other->m_dataType;
    m_system = other->m_system;
    m_project = other->m_project;
    m_experiment = other->m_experiment;
    m_cells = other->m_cells;
    m_creator = other->m_creator;
    // Image size belongs to the loaded image, not to copies of its header.
}

MCV_FcsHeader::~MCV_FcsHeader() = default;

void MCV_FcsHeader::setFileName(std::string v) { m_fileName = std::move(v); }
std::string MCV_FcsHeader::fileName() const { return m_fileName; }
void MCV_FcsHeader::setFcsVersion(std::string v) { m_fcsVersion = std::move(v); }
std::string MCV_FcsHeader::fcsVersion() const { return m_fcsVersion; }
void MCV_FcsHeader::setNumEvents(int n) { m_numEvents = n; }
int MCV_FcsHeader::numEvents() const { return m_numEvents; }

void MCV_FcsHeader::setStartTime(std::string v) { m_startTime = std::move(v); }
void MCV_FcsHeader::setStopTime(std::string v) { m_stopTime = std::move(v); }
void MCV_FcsHeader::setCytometry(std::string v) { m_cytometry = std::move(v); }
void MCV_FcsHeader::setDate(std::string v) { m_date = std::move(v); }
void MCV_FcsHeader::setByteOrder(std::string v) { m_byteOrder = std::move(v); }
void MCV_FcsHeader::setDataType(std::string v) { m_dataType = std::move(v); }
void MCV_FcsHeader::setSystem(std::string v) { m_system = std::move(v); }
void MCV_FcsHeader::setProject(std::string v) { m_project = std::move(v); }
void MCV_FcsHeader::setExperiment(std::string v) { m_experiment = std::move(v); }
void MCV_FcsHeader::setCells(std::string v) { m_cells = std::move(v); }
void MCV_FcsHeader::setCreator(std::string v) { m_creator = std::move(v); }
std::string MCV_FcsHeader::startTime() const { return m_startTime; }
std::string MCV_FcsHeader::stopTime() const { return m_stopTime; }
std::string MCV_FcsHeader::cytometry() const { return m_cytometry; }
std::string MCV_FcsHeader::date() const { return m_date; }
std::string MCV_FcsHeader::byteOrder() const { return m_byteOrder; }
std::string MCV_FcsHeader::dataType() const { return m_dataType; }
std::string MCV_FcsHeader::system() const { return m_system; }
std::string MCV_FcsHeader::project() const { return m_project; }
std::string MCV_FcsHeader::experiment() const { return m_experiment; }
std::string MCV_FcsHeader::cells() const { return m_cells; }
std::string MCV_FcsHeader::creator() const { return m_creator; }

void MCV_FcsHeader::setWidth(int w) { m_width = w; }
int MCV_FcsHeader::width() const { return m_width; }
void MCV_FcsHeader::setHeight(int h) { m_height = h; }
int MCV_FcsHeader::height() const { return m_height; }

std::vector<fcsVariable>* MCV_FcsHeader::createVariables(int n) {
    m_variables.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return &m_variables;
}

int MCV_FcsHeader::numVariables() const { return static_cast<int>(m_variables.size()); }

std::vector<fcsVariable>* MCV_FcsHeader::variables() { return &m_variables; }

fcsVariable* MCV_FcsHeader::variable(int i) {
    if (i < 0 || i >= numVariables()) return nullptr;
    return &m_variables[static_cast<size_t>(i)];
}

fcsVariable* MCV_FcsHeader::variable(std::string name) { return variable(variableIdx(name)); }

int MCV_FcsHeader::variableIdx(std::string name) const {
    for (size_t i = 0; i < m_variables.size(); ++i)
        if (m_variables[i].name == name) return static_cast<int>(i);
    return -1;
}

std::string MCV_FcsHeader::variableName(int i) const {
    if (i < 0 || i >= numVariables()) return std::string();
    return m_variables[static_cast<size_t>(i)].name;
}

void MCV_FcsHeader::setVariable(int i, fcsVariable v) {
    if (i < 0 || i >= numVariables()) return;
    const size_t k = static_cast<size_t>(i);
    // Keep the marker lists in step even when a caller grew the variables
    // without filling the lists.
    for (auto& list : m_markerLists)
        if (list.size() <= k) list.resize(k + 1);
    m_markerLists[0][k] = v.name;
    m_markerLists[1][k] = v.label;
    m_variables[k] = std::move(v);
}

void MCV_FcsHeader::addDimension(std::string name) {
    fcsVariable v;
    v.name = name;
    v.label = name;
    v.range = 0;
    v.bits = 32;
    v.exponent = 1.0;
    m_variables.push_back(v);
    m_markerLists[0].push_back(name);
    m_markerLists[1].push_back(name);
}

std::vector<std::string>* MCV_FcsHeader::markerList(int i) {
    assert(i == 0 || i == 1);
    return &m_markerLists[i == 1 ? 1 : 0];
}

void MCV_FcsHeader::initDerivedData() {
    // Sized once: a list grown by doubling would hold its old and new blocks
    // at once, half again the memory a file of many parameters needs.
    for (auto& list : m_markerLists) list.reserve(list.size() + m_variables.size());
    for (const fcsVariable& v : m_variables) {
        m_markerLists[0].push_back(v.name);
        m_markerLists[1].push_back(v.label);
    }
}

std::string MCV_FcsHeader::printHeader() const {
    std::ostringstream out;
    out << m_fileName << "\n";
    out << m_fcsVersion << "\n\n";
    if (m_numEvents < 0)
        out << "different numbers of Events\n";
    else
        out << m_numEvents << " Events\n";
    out << m_variables.size() << " Variables\n\n";

    struct Line {
        const char* prefix;
        const std::string* value;
        const char* end;
    };
    const Line lines[] = {
        {"Start Time: ", &m_startTime, "\n"},  {"Stop Time: ", &m_stopTime, "\n"},
        {"Date: ", &m_date, "\n\n"},           {"Byte Order: ", &m_byteOrder, "\n"},
        {"Datatype: ", &m_dataType, "\n\n"},   {"Cytometry: ", &m_cytometry, "\n"},
        {"System: ", &m_system, "\n"},         {"Project: ", &m_project, "\n"},
        {"Experiment: ", &m_experiment, "\n"}, {"Cells: ", &m_cells, "\n\n"},
        {"Creator: ", &m_creator, "\n\n\n"},
    };
    for (const Line& l : lines)
        if (!l.value->empty()) out << l.prefix << *l.value << l.end;

    if (!m_variables.empty()) {
        out << "========== Variables ==========\n";
        for (const fcsVariable& v : m_variables) {
            out << "\n--" << v.name << " // " << v.label << " --\n";
            out << "Range: " << v.range << "\n";
            out << v.bits << " bits\n";
            out << "Exponent: " << v.exponent << "\n";
        }
    }
    return out.str();
}
