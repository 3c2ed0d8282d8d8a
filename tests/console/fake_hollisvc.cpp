// Stands in for hollisvc: adds its arguments as a line to "launches" in its folder, prints
// "ran" and them, and ends with the number in "status" there (0 without one).

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    const std::filesystem::path folder = std::filesystem::path(argv[0]).parent_path();
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    std::ofstream(folder / "launches", std::ios::app) << line + "\n" << std::flush;
    std::cout << "ran " << line << std::endl;
    int status = 0;
    std::ifstream(folder / "status") >> status;
    return status;
}
