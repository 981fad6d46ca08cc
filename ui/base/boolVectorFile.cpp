#include "boolVectorFile.h"

#include <fstream>

bool readBoolVectorFromFile(std::string path, std::vector<bool>* out) {
    if (!out) return false;
    std::ifstream in(path);
    if (!in.is_open()) return false;
    out->clear();
    out->reserve(50);
    long long value = 0;
    while (in >> value) out->push_back(value != 0);
    return true;
}

bool writeBoolVectorToFile(std::string path, std::vector<bool> flags) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) return false;
    for (bool f : flags) file << (f ? "1 " : "0 ");
    return true;
}
