// Bytes for the tests: random content, and whole local files written and read back.
#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace tarnwick::testing {

// `size` pseudo-random bytes, the same for the same seed.
inline std::string RandomBytes(std::size_t size, unsigned seed = 42) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(gen() & 0xFF);
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarnwick::testing
