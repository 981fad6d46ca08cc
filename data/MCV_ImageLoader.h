#pragma once

#include "data/fcsVariable.h"

#include <string>
#include <vector>

class MCV_FcsHeader;

// Loader for image stacks (one image per variable, pixels as events). Reading
// images is not supported yet: loadFromFiles hands back nothing, which the
// data set reports as a failed load.
class MCV_ImageLoader {
public:
    void init();
    std::string textHeader() const;
    fcsVariable initVariable(std::string name) const;
    // On success *header and *data receive new objects the caller owns.
    int loadFromFiles(std::vector<std::string>* paths, MCV_FcsHeader** header, float** data);

private:
    std::string m_textHeader;
};
