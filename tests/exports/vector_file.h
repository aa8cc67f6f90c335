// File: vector_file.h
//
// Reads the known-answer files of tests/vectors: a first line naming their
// source, "[section]" headings, and "Name = value" lines, values in hex unless
// a test reads them as text. Lines starting with '#' are comments. Plain C++
// only, since the export cases also run in the Windows host.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "exports/export_test.h"

struct VectorEntry {
    std::string section;
    std::string name;
    std::string value;

    Bytes hex() const {
        Bytes bytes;
        for (size_t i = 0; i + 1 < value.size(); i += 2) {
            bytes.push_back(static_cast<uint8_t>(std::stoi(value.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    }
};

// readVectors returns the entries of tests/vectors/<file> in file order, and
// none (with a test failure) when the file cannot be read.
inline std::vector<VectorEntry> readVectors(const std::string& file) {
    std::vector<VectorEntry> entries;
    const std::string path = std::string(ZQ_VECTORS_DIR) + "/" + file;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return entries;
    }
    std::string section, line;
    auto trim = [](std::string text) {
        const size_t first = text.find_first_not_of(" \t\r");
        const size_t last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    auto take = [&] {
        line = trim(line);
        if (line.empty() || line[0] == '#') return;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            return;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return;
        entries.push_back({section, trim(line.substr(0, equals)), trim(line.substr(equals + 1))});
    };
    for (int c; (c = std::fgetc(stream)) != EOF;) {
        if (c == '\n') {
            take();
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    take();
    std::fclose(stream);
    return entries;
}
