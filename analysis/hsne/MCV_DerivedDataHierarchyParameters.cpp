// The parameter cache: a JSON object of the settings a cached hierarchy was
// built with. A cache is reused only when every recorded setting equals the
// current one; the first difference is named on the console.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

const char* const kVersionKey = "## VERSION ##";

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
    const std::string temporary = path + ".tmp";
    QFile file(QString::fromStdString(temporary));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::cout << "Caching failed. File could not be opened.\n" << std::endl;
        m_cacheProblem = file.errorString().toStdString();
        return false;
    }
    const QByteArray text = QJsonDocument(parameterCacheObject(parameters)).toJson(QJsonDocument::Indented);
    const bool written = file.write(text) == text.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cout << "Caching failed. " << path << " could not be written." << std::endl;
        m_cacheProblem = "the parameter file could not be written";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool MCV_DerivedDataHierarchy::loadHsneParametersCache(std::string path, const ParameterCache& current) {
    std::cout << "Loading " << path << std::endl;
    m_cacheProblem.clear();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::cout << "Loading cache failed. File could not be opened.\n" << std::endl;
        return false;
    }
    // Text that is not a JSON object reads as an empty object, which fails the
    // version check.
    return parameterCacheMatches(QJsonDocument::fromJson(file.readAll()).object(), current, &m_cacheProblem);
}
