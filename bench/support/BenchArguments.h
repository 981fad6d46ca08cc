#pragma once
// A benchmark's command line of "--name value" pairs, each name bound to a
// field of its options. Numbers are read as by atol; a benchmark checks their
// ranges itself.

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class BenchArguments {
public:
    BenchArguments& operator()(const char* name, unsigned& field) {
        return bind(name, [&field](const char* value) { field = static_cast<unsigned>(std::atol(value)); });
    }
    BenchArguments& operator()(const char* name, int& field) {
        return bind(name, [&field](const char* value) { field = static_cast<int>(std::atol(value)); });
    }
    BenchArguments& operator()(const char* name, std::string& field) {
        return bind(name, [&field](const char* value) { field = value; });
    }

    // False on a name not bound or a name without its value.
    bool parse(int argc, char** argv) const {
        if (argc % 2 == 0) return false;
        for (int a = 1; a + 1 < argc; a += 2) {
            const auto* found = find(argv[a]);
            if (!found) return false;
            found->second(argv[a + 1]);
        }
        return true;
    }

private:
    using Field = std::pair<std::string, std::function<void(const char*)>>;
    BenchArguments& bind(const char* name, std::function<void(const char*)> set) {
        m_fields.emplace_back(name, std::move(set));
        return *this;
    }
    const Field* find(const std::string& name) const {
        for (const Field& f : m_fields)
            if (f.first == name) return &f;
        return nullptr;
    }
    std::vector<Field> m_fields;
};
