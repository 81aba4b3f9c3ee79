// Runs the fuzz entry once over every file of the corpus folders given on the
// command line, so the normal build exercises the fuzz target without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        for (const auto& item : std::filesystem::recursive_directory_iterator(argv[i], error)) {
            if (!item.is_regular_file()) continue;
            std::ifstream in(item.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++runs;
        }
        if (error) {
            std::cerr << "cannot read corpus " << argv[i] << ": " << error.message() << '\n';
            return 1;
        }
    }
    std::cout << runs << " corpus inputs ran\n";
    return runs > 0 ? 0 : 1;
}
