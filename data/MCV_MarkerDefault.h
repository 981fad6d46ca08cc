#pragma once

#include <cstddef>
#include <string>
#include <vector>

class MCV_CytometryData;

// A default marker selection as the default-marker file keeps it beside the
// data it was made for: one flag per marker the files bring, in marker order,
// then, when the data had the sample tag (MCV_SampleTag), the tag's flag.
//
// The other variables the program adds (colour channels, the analyses'
// output variables) get no flag: they come in whatever order the user's steps
// made, so a flag kept by position would later land on another variable. The
// tag is kept because the import adds it again at the user's choice, and its
// flag then goes to it wherever it stands.
//
// Files of earlier versions held one flag for every variable of the data, the
// files' markers first and then those the program had added, the sample tag
// first among them whenever the import added it; read by the same rule they
// give the same markers and the same tag.
class MCV_MarkerDefault {
public:
    static constexpr const char* fileName = "QLMRN_DefaultMarkers.txt";

    // The default-marker file of `data`: in the folder of its first file, the
    // folder File > Open chose the files from. Empty without files.
    static std::string filePath(const MCV_CytometryData& data);

    // The default of a marker list of `data`, whose `states` hold one flag
    // per variable in order (missing ones count as off).
    static MCV_MarkerDefault fromStates(const std::vector<bool>& states, MCV_CytometryData& data);
    // The default in a file's flags, for data whose files bring `markers`
    // markers: the first `markers` flags are theirs and the next one, if
    // any, the tag's. `flags` must hold at least `markers` flags; later ones
    // are not read.
    static MCV_MarkerDefault fromFileFlags(const std::vector<bool>& flags, size_t markers);

    // The flags as the file keeps them.
    std::vector<bool> fileFlags() const;
    // One flag per variable of `data`: the markers' as kept, the tag's on the
    // sample tag the program added, when both are there; every other
    // variable off.
    std::vector<bool> statesFor(MCV_CytometryData& data) const;

    // The sample tag the program added to `data` (the files may bring a
    // variable of that name themselves, from an export), or -1.
    static int addedTagIndex(MCV_CytometryData& data);

    std::vector<bool> markers;
    bool hasTag = false;
    bool tag = false;
};
