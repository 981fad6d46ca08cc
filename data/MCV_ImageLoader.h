#pragma once

#include "data/fcsVariable.h"

#include <cstdint>
#include <string>
#include <vector>

class MCV_FcsHeader;

// Loads TIFF image stacks as one data set whose events are pixels: every page
// of every file (all pages of a multi-page TIFF, in file order) must have the
// same width and height. Samples are read as stored, through libtiff, never
// through a display conversion:
// - a grey page (min-is-black or min-is-white) becomes one variable of its
//   raw sample values;
// - an RGB page (also a JPEG-compressed YCbCr page, which the codec turns
//   into RGB) becomes three variables (red, green, blue) of its raw,
//   unassociated samples;
// - a palette page becomes three variables of its colour map, scaled to 0 to
//   255;
// - extra samples (alpha or others) are left out.
// Samples must be 8- or 16-bit integers, unsigned or signed (signed ones keep
// their sign); a variable's range is 256 or 65536. Floating-point, 1-, 4-,
// 32-bit samples and other colour spaces (CMYK, Lab, ...) are refused.
// Event k is pixel (k mod width, k / width), rows in stored order; the header
// carries width and height.
//
// Variable names come from the file name without folder and extension, so
// that the user can tell the channels apart: "<file>" for a grey file of one
// page, "<file> page <n>" (n from 1) for page n of a multi-page file, with
// " Red", " Green" or " Blue" added for the channels of an RGB or palette
// page. A file name met twice gets " (2)", " (3)", ... added.
//
// Every page's directory is read before any sample is decoded: the stack is
// refused when its declared sizes need more than memoryLimit() bytes as
// floats, whatever the files' compression; no single allocation of libtiff's
// may exceed that limit either.
//
// Result codes (MCV_LoadCode): 0 loaded; CannotOpen for a path that is not a
// readable regular file; TiffNotSupported for a file that is not a TIFF, a
// page that cannot be read or decoded (a damaged or truncated file: the whole
// stack is refused, not cut short) or a page of a kind not read here;
// ImagesNotMatching when the pages differ in size; OutOfMemory when the data
// do not fit; NoMatrix for no paths at all. A refused stack hands back
// nothing; message() names the file, the page and the reason, and the same
// line is written to standard output. libtiff's own messages never reach the
// terminal: its errors become part of message().
class MCV_ImageLoader {
public:
    // Half of the physical memory, or 2 GiB where it cannot be measured.
    static uint64_t physicalMemoryLimit();

    void init();
    // Empty: image files carry no FCS text.
    std::string textHeader() const;
    fcsVariable initVariable(std::string name) const;
    // On success *header and *data receive new objects the caller owns;
    // otherwise both are set to null.
    int loadFromFiles(std::vector<std::string>* paths, MCV_FcsHeader** header, float** data);

    // Bytes the event matrix may take at most; physicalMemoryLimit() unless
    // set.
    uint64_t memoryLimit() const { return m_memoryLimit; }
    void setMemoryLimit(uint64_t bytes) { m_memoryLimit = bytes; }
    // Why the last load was refused; empty after a load that succeeded.
    const std::string& message() const { return m_message; }

private:
    int refuse(int code, const std::string& path, const std::string& why);

    std::string m_textHeader;
    std::string m_message;
    uint64_t m_memoryLimit = physicalMemoryLimit();
};
