// The parameter cache: a JSON object of the settings a cached hierarchy was
// built with, and the length and checksum of each of the two hierarchy files
// as written. A cache is reused only when every recorded setting equals the
// current one; the first difference is named on the console.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "analysis/hsne/MCV_CacheFileReader.h"
#include "analysis/hsne/MCV_CacheFileWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <iostream>
#include <sstream>

namespace {

const char* const kVersionKey = "## VERSION ##";
// A parameter cache holds a few hundred bytes per loaded file.
constexpr std::uint64_t kMaxParameterFile = std::uint64_t(1) << 20;

struct FileKeys {
    const char* size;
    const char* checksum;
};
const FileKeys kHierarchyKeys{"Hierarchy File Size", "Hierarchy File Checksum"};
const FileKeys kPointListsKeys{"Point Lists File Size", "Point Lists File Checksum"};

void insertDigest(QJsonObject& object, const FileKeys& keys, const MCV_CacheFileDigest& digest) {
    // Lengths below 2^53 read back exactly from a JSON number.
    object.insert(keys.size, static_cast<double>(digest.size));
    object.insert(keys.checksum, QString::fromStdString(digest.checksumHex()));
}

// False for a key that is absent or does not hold a length or a checksum.
bool readDigest(const QJsonObject& object, const FileKeys& keys, MCV_CacheFileDigest& digest) {
    const QJsonValue size = object.value(keys.size), checksum = object.value(keys.checksum);
    if (!size.isDouble() || !checksum.isString()) return false;
    const double bytes = size.toDouble();
    if (!(bytes >= 0 && bytes <= 9007199254740992.0) || bytes != std::floor(bytes)) return false;
    digest.size = static_cast<std::uint64_t>(bytes);
    return digest.setChecksumHex(checksum.toString().toStdString());
}

QJsonValue jsonOf(const MCV_DerivedDataHierarchy::CachedSetting& setting) {
    using Kind = MCV_DerivedDataHierarchy::CachedSetting::Kind;
    switch (setting.kind) {
        case Kind::Integer:
            return static_cast<qint64>(setting.number);
        case Kind::Boolean:
            return setting.number != 0;
        case Kind::Real:
            return setting.number;
        case Kind::Text:
            return QString::fromStdString(setting.text);
    }
    return {};
}

// A stored value read the way its current counterpart is typed, printed as
// the mismatch line prints it; absent or mistyped values read as 0, false or
// an empty text.
struct Reading {
    bool equal;
    std::string stored;
    std::string current;
};

Reading compare(const QJsonValue& value, const MCV_DerivedDataHierarchy::CachedSetting& setting) {
    using Kind = MCV_DerivedDataHierarchy::CachedSetting::Kind;
    std::ostringstream stored, current;
    bool equal = false;
    switch (setting.kind) {
        case Kind::Integer: {
            const double d = value.toDouble(0);
            const long long s = d == std::floor(d) ? static_cast<long long>(d) : 0;
            const auto c = static_cast<long long>(setting.number);
            equal = s == c;
            stored << s;
            current << c;
            break;
        }
        case Kind::Boolean: {
            const bool s = value.toBool(false);
            const bool c = setting.number != 0;
            equal = s == c;
            stored << (s ? 1 : 0);
            current << (c ? 1 : 0);
            break;
        }
        case Kind::Real: {
            const double s = value.toDouble(0);
            equal = s == setting.number;
            stored << s;
            current << setting.number;
            break;
        }
        case Kind::Text: {
            const std::string s = value.toString().toStdString();
            equal = s == setting.text;
            stored << s;
            current << setting.text;
            break;
        }
    }
    return {equal, stored.str(), current.str()};
}

}  // namespace

QJsonObject MCV_DerivedDataHierarchy::parameterCacheObject(const ParameterCache& parameters) {
    QJsonObject object;
    object.insert(kVersionKey, QString::fromStdString(parameters.version));
    QJsonArray files;
    for (const std::string& file : parameters.files) files.append(QString::fromStdString(file));
    object.insert("Files", files);
    QJsonArray markers;
    for (unsigned marker : parameters.markers) markers.append(static_cast<qint64>(marker));
    object.insert("Selected Dimensions", markers);
    for (const CachedSetting& setting : parameters.settings)
        object.insert(QString::fromStdString(setting.key), jsonOf(setting));
    insertDigest(object, kHierarchyKeys, parameters.hierarchyFile);
    insertDigest(object, kPointListsKeys, parameters.pointListsFile);
    return object;
}

bool MCV_DerivedDataHierarchy::parameterCacheMatches(const QJsonObject& stored, const ParameterCache& current,
                                                     std::string* why) {
    const auto refuse = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    const std::string version = stored.value(kVersionKey).toString().toStdString();
    if (version != current.version) {
        std::cout << "Version of the cache (" << version << ") differs from analysis version (" << current.version
                  << "). Cannot load cache.\n";
        return refuse(version.empty() ? std::string("its parameter file is damaged")
                                      : "it was written by version " + version);
    }

    const QJsonValue files = stored.value("Files");
    if (!files.isArray() || files.toArray().size() != static_cast<int>(current.files.size())) {
        std::cout << "Number of loaded files does not match cache. Cannot load cache.\n";
        return refuse("it was built from other files");
    }
    for (const std::string& file : current.files) {
        if (!files.toArray().contains(QString::fromStdString(file))) {
            std::cout << "Could not find loaded file" << file << "in cache. Cannot load cache.\n";
            return refuse("it was built from other files");
        }
    }

    const QJsonValue markers = stored.value("Selected Dimensions");
    bool markersMatch = markers.isArray() && markers.toArray().size() == static_cast<int>(current.markers.size());
    for (size_t k = 0; markersMatch && k < current.markers.size(); ++k) {
        bool found = false;
        for (const QJsonValue& entry : markers.toArray())
            found = found || (entry.isDouble() && entry.toDouble() == static_cast<double>(current.markers[k]));
        markersMatch = found;
    }
    if (!markersMatch) {
        std::cout << "Selected Markers do not match cache. Cannot load cache.\n";
        return refuse("it was built with other markers");
    }

    for (const CachedSetting& setting : current.settings) {
        const Reading r = compare(stored.value(QString::fromStdString(setting.key)), setting);
        if (!r.equal) {
            std::cout << setting.key << " (" << r.current << ") does not match cache (" << r.stored
                      << "). Cannot load cache.\n";
            if (setting.kind == CachedSetting::Kind::Text) return refuse("it was built from other data");
            return refuse("it was built with other settings (" + setting.key + " " + r.stored + ", not " + r.current +
                          ")");
        }
    }
    return true;
}

bool MCV_DerivedDataHierarchy::cacheHsneParameters(std::string path, const ParameterCache& parameters) {
    std::cout << "Wrting " << path << std::endl;
    m_cacheProblem.clear();
    if (!m_cacheFilesKnown) {
        std::cout << "Caching failed. The hierarchy files were not written." << std::endl;
        m_cacheProblem = "the hierarchy files were not written";
        return false;
    }
    ParameterCache written = parameters;
    written.hierarchyFile = m_hierarchyFile;
    written.pointListsFile = m_pointListsFile;
    const QByteArray text = QJsonDocument(parameterCacheObject(written)).toJson(QJsonDocument::Indented);
    MCV_CacheFileWriter file(path);
    if (!file.isOpen()) {
        std::cout << "Caching failed. File could not be opened.\n" << std::endl;
        m_cacheProblem = file.problem();
        return false;
    }
    if (file.sputn(text.constData(), text.size()) != text.size() || !file.commit()) {
        std::cout << "Caching failed. " << path << " could not be written." << std::endl;
        m_cacheProblem = "the parameter file could not be written" +
                         (file.problem().empty() ? std::string() : " (" + file.problem() + ")");
        return false;
    }
    return true;
}

bool MCV_DerivedDataHierarchy::loadHsneParametersCache(std::string path, const ParameterCache& current) {
    std::cout << "Loading " << path << std::endl;
    m_cacheProblem.clear();
    m_cacheFilesKnown = false;
    MCV_CacheFileReader file;
    if (!file.open(path)) {
        std::cout << "Loading cache failed. File could not be opened.\n" << std::endl;
        // No cache at all is nothing to tell the user about; anything else
        // in its place is.
        if (!file.missing()) m_cacheProblem = "its parameter file cannot be read (" + file.problem() + ")";
        return false;
    }
    std::vector<char> bytes;
    if (file.size() > kMaxParameterFile || !file.readRest(bytes)) {
        std::cout << "Loading cache failed. " << path << " is too long or cannot be read." << std::endl;
        m_cacheProblem = "its parameter file is damaged";
        return false;
    }
    // Text that is not a JSON object reads as an empty object, which fails the
    // version check.
    const QJsonObject stored =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<int>(bytes.size()))).object();
    if (!parameterCacheMatches(stored, current, &m_cacheProblem)) return false;
    const bool anyKey = stored.contains(kHierarchyKeys.size) || stored.contains(kHierarchyKeys.checksum) ||
                        stored.contains(kPointListsKeys.size) || stored.contains(kPointListsKeys.checksum);
    if (!readDigest(stored, kHierarchyKeys, m_hierarchyFile) ||
        !readDigest(stored, kPointListsKeys, m_pointListsFile)) {
        std::cout << "The cache records no valid checksums of its hierarchy files. Cannot load cache.\n";
        m_cacheProblem = anyKey ? "its parameter file is damaged" : "it was written without checksums of its files";
        return false;
    }
    m_cacheFilesKnown = true;
    return true;
}
