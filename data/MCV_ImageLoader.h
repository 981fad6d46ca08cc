#pragma once

#include "data/fcsVariable.h"

#include <string>
#include <vector>

class MCV_FcsHeader;

// Loads image stacks as one data set whose events are pixels: every page of
// every file (all pages of a multi-page TIFF, in file order) must have the
// same width and height; an 8- or 16-bit grey page becomes one variable and an
// RGB page (8 or 16 bits, or a palette) three (red, green, blue). Event k is pixel (k mod width, k / width),
// rows top first; its value of a variable is the page's raw sample (0 to 255
// or 0 to 65535) as a float. The header carries width and height.
//
// Variable names come from the file name without folder and extension, so
// that the user can tell the channels apart: "<file>" for a grey file of one
// page, "<file> page <n>" (n from 1) for page n of a multi-page file, with
// " Red", " Green" or " Blue" added for the channels of an RGB page. A file
// name met twice gets " (2)", " (3)", ... added.
//
// Result codes (MCV_LoadCode): 0 loaded; CannotOpen for a file that does not
// exist or cannot be opened; TiffNotSupported for one that cannot be decoded
// or holds another kind of page (1-bit, alpha only); ImagesNotMatching when
// the pages differ in size; OutOfMemory when the data do not fit; NoMatrix for
// no paths at all. A refused stack hands back nothing; the reason and the file
// are written to standard output.
class MCV_ImageLoader {
public:
    void init();
    // Empty: image files carry no FCS text.
    std::string textHeader() const;
    fcsVariable initVariable(std::string name) const;
    // On success *header and *data receive new objects the caller owns;
    // otherwise both are set to null.
    int loadFromFiles(std::vector<std::string>* paths, MCV_FcsHeader** header, float** data);

private:
    std::string m_textHeader;
};
