#include "data/MCV_ImageLoader.h"

#include "data/MCV_Messages.h"

void MCV_ImageLoader::init() {}

std::string MCV_ImageLoader::textHeader() const { return m_textHeader; }

fcsVariable MCV_ImageLoader::initVariable(std::string name) const {
    fcsVariable v;
    v.name = name;
    v.label = name;
    v.range = 1;
    v.bits = 32;
    v.exponent = 0.0;
    return v;
}

int MCV_ImageLoader::loadFromFiles(std::vector<std::string>*, MCV_FcsHeader**, float**) {
    return MCV_LoadCode::Success;
}
