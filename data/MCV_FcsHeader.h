#pragma once

#include "data/fcsVariable.h"

#include <string>
#include <vector>

// The header of one loaded FCS file, or of all loaded files together (the data
// set's combined header). A keyword the file lacks holds the text "-1".
class MCV_FcsHeader {
public:
    // With a null `other`: an empty header. Otherwise a copy of everything but
    // the image width and height, which stay 0.
    explicit MCV_FcsHeader(MCV_FcsHeader* other);
    ~MCV_FcsHeader();

    void setFileName(std::string fileName);
    std::string fileName() const;
    void setFcsVersion(std::string version);
    std::string fcsVersion() const;
    void setNumEvents(int numEvents);
    int numEvents() const;

    void setStartTime(std::string v);
    void setStopTime(std::string v);
    void setCytometry(std::string v);
    void setDate(std::string v);
    void setByteOrder(std::string v);
    void setDataType(std::string v);
    void setSystem(std::string v);
    void setProject(std::string v);
    void setExperiment(std::string v);
    void setCells(std::string v);
    void setCreator(std::string v);
    std::string startTime() const;
    std::string stopTime() const;
    std::string cytometry() const;
    std::string date() const;
    std::string byteOrder() const;
    std::string dataType() const;
    std::string system() const;
    std::string project() const;
    std::string experiment() const;
    std::string cells() const;
    std::string creator() const;

    void setWidth(int width);
    int width() const;
    void setHeight(int height);
    int height() const;

    // Makes the variable sequence exactly n long (surplus dropped from the end,
    // new ones default-initialised). The marker lists are left alone.
    std::vector<fcsVariable>* createVariables(int n);
    int numVariables() const;
    std::vector<fcsVariable>* variables();
    fcsVariable* variable(int i);
    fcsVariable* variable(std::string name);
    // First variable whose name equals `name` byte for byte, or -1.
    int variableIdx(std::string name) const;
    std::string variableName(int i) const;
    void setVariable(int i, fcsVariable v);
    void addDimension(std::string name);
    // 0: variable names, 1: labels.
    std::vector<std::string>* markerList(int i);
    // Appends every variable's name and label to the marker lists (does not
    // clear them first).
    void initDerivedData();
    std::string printHeader() const;

private:
    std::string m_fileName;
    std::string m_fcsVersion;
    std::vector<std::string> m_markerLists[2];
    int m_numEvents = 0;
    std::vector<fcsVariable> m_variables;
    std::string m_startTime;
    std::string m_stopTime;
    std::string m_cytometry;
    std::string m_date;
    std::string m_byteOrder;
    std::string m_dataType;
    std::string m_system;
    std::string m_project;
    std::string m_experiment;
    std::string m_cells;
    std::string m_creator;
    int m_width = 0;
    int m_height = 0;
};
